# Time limits of the storage fault tests that need more than the default (read by ctest once the
# discovered tests are defined).
set_tests_properties(StorageLock.DatabaseLockedByAnotherProcessForFifteenSeconds PROPERTIES TIMEOUT 240)
set_tests_properties(StorageKill.FiftyKillsInsideLoggingPassesLeaveSoundFiles PROPERTIES TIMEOUT 300)
set_tests_properties(StorageDiskFull.AgentKeepsAlarmingKeepsItsSettingsAndLogsAgainWhenSpaceReturns PROPERTIES TIMEOUT 200)

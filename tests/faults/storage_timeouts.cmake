# SPDX-FileCopyrightText: The Varden developers
#
# SPDX-License-Identifier: GPL-2.0-or-later

# Time limits of the storage fault tests that need more than the default (read by ctest once the
# discovered tests are defined).
foreach(test
    StorageLock.DatabaseLockedByAnotherProcessForFifteenSeconds
    StorageKill.FiftyKillsInsideLoggingPassesLeaveSoundFiles
    StorageDiskFull.AgentKeepsAlarmingKeepsItsSettingsAndLogsAgainWhenSpaceReturns
    StorageClock.PurgeNeverDeletesARowNewerThanItsCutoffAcrossClockSteps)
  set_tests_properties(${test} PROPERTIES TIMEOUT 300 COST 300)
endforeach()

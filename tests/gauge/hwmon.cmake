# The kernel hwmon source: its pure parts in process, and captured machines through the
# reading tool inside a private mount namespace.
vrd_add_test(gauge_hwmon_test SOURCES hwmon_mapping_test.cpp LIBS gauge_core Qt5::Core)

vrd_add_test(gauge_hwmon_machines_test SOURCES hwmon_machines_test.cpp hwmon_namespace.cpp LIBS Qt5::Core)
add_dependencies(gauge_hwmon_machines_test gauge64-read Gauge64)

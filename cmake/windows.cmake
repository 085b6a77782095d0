# The Windows build's program settings (Linux has install.cmake instead). Every program is one file
# beside Gauge64.dll: Qt, SQLite, OpenSSL, libmosquitto and Qwt are linked in statically, and so are
# the C and C++ runtimes.

# The programs look for Gauge64.dll in their own folder, and are never "installed" in the sense of
# platform/session/file_places.h: the agent keeps its files in its working directory, the station in
# its program's folder.
add_library(vrd_install_dirs INTERFACE)
target_compile_definitions(vrd_install_dirs INTERFACE VRD_LIBDIR_FROM_BINDIR="." VRD_INSTALLED_BINDIR="")
target_link_libraries(vrd_session PRIVATE vrd_install_dirs)
target_link_libraries(vrd_client_monitor PRIVATE vrd_install_dirs)
target_link_libraries(gauge64-read PRIVATE vrd_install_dirs)

set_target_properties(VrdClient VrdBrowser PROPERTIES WIN32_EXECUTABLE ON)


# Programs of the Windows build link their static libraries as one group, searched until nothing
# more resolves, whatever order the libraries' own dependencies put them in.
string(REPLACE "<LINK_LIBRARIES>" "-Wl,--start-group <LINK_LIBRARIES> -Wl,--end-group"
       CMAKE_CXX_LINK_EXECUTABLE "${CMAKE_CXX_LINK_EXECUTABLE}")

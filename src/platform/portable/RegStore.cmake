# The portable registry: an in-memory key tree with the registry calls
# (MemoryRegistry) and the machine registry kept in a REGEDIT4 file
# (FileRegistry). Included from this directory's CMakeLists.txt.
add_library(marvane_platform_registry STATIC
  ${CMAKE_CURRENT_LIST_DIR}/RegStore.cpp
  ${CMAKE_CURRENT_LIST_DIR}/MemoryRegistry.cpp
  ${CMAKE_CURRENT_LIST_DIR}/RegText.cpp
  ${CMAKE_CURRENT_LIST_DIR}/FileRegistry.cpp
)
target_include_directories(marvane_platform_registry PUBLIC ${PROJECT_SOURCE_DIR}/src)

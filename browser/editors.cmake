# The editors started from the record tree: in-place value box, record clipboard,
# info, text dialog and search, and the view that wires them to the tree.
set(_editor_sources
  ${CMAKE_CURRENT_LIST_DIR}/EntrySearch.cpp
  ${CMAKE_CURRENT_LIST_DIR}/FieldEdit.cpp
  ${CMAKE_CURRENT_LIST_DIR}/MessageBox.cpp
  ${CMAKE_CURRENT_LIST_DIR}/RecordClipboard.cpp
  ${CMAKE_CURRENT_LIST_DIR}/RecordCommands.cpp
  ${CMAKE_CURRENT_LIST_DIR}/SearchDialog.cpp
  ${CMAKE_CURRENT_LIST_DIR}/TextEditDialog.cpp
  ${CMAKE_CURRENT_LIST_DIR}/TextValue.cpp
)
# The view over the tree (tarlo_browser comes from tree.cmake, included after this file).
if(EXISTS ${CMAKE_CURRENT_LIST_DIR}/tree.cmake)
  list(APPEND _editor_sources ${CMAKE_CURRENT_LIST_DIR}/EditingView.cpp)
endif()
add_library(tarlo_browser_editors STATIC ${_editor_sources})
set_target_properties(tarlo_browser_editors PROPERTIES AUTOMOC ON)
target_include_directories(tarlo_browser_editors PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(tarlo_browser_editors PUBLIC tarlo_model Qt6::Widgets)
if(EXISTS ${CMAKE_CURRENT_LIST_DIR}/tree.cmake)
  target_link_libraries(tarlo_browser_editors PUBLIC tarlo_browser)
endif()
# hexedit/ and tables/ are added before browser/, so their targets are known here.
if(TARGET tarlo_hexedit)
  target_link_libraries(tarlo_browser_editors PUBLIC tarlo_hexedit)
endif()
if(TARGET tarlo_tables)
  target_link_libraries(tarlo_browser_editors PUBLIC tarlo_tables)
  target_compile_definitions(tarlo_browser_editors PUBLIC TARLO_HAVE_TABLES=1)
endif()

# The editors started from the record tree: in-place value box, record clipboard,
# info, text dialog and search, and the view that wires them to the tree.
set(_editor_sources
  ${CMAKE_CURRENT_LIST_DIR}/CopyValue.cpp
  ${CMAKE_CURRENT_LIST_DIR}/EntrySearch.cpp
  ${CMAKE_CURRENT_LIST_DIR}/FieldEdit.cpp
  ${CMAKE_CURRENT_LIST_DIR}/RecordClipboard.cpp
  ${CMAKE_CURRENT_LIST_DIR}/RecordCommands.cpp
  ${CMAKE_CURRENT_LIST_DIR}/SearchDialog.cpp
  ${CMAKE_CURRENT_LIST_DIR}/TextEditDialog.cpp
  ${CMAKE_CURRENT_LIST_DIR}/TextValue.cpp
  ${CMAKE_CURRENT_LIST_DIR}/EditingView.cpp
)
add_library(tarlo_browser_editors STATIC ${_editor_sources})
set_target_properties(tarlo_browser_editors PROPERTIES AUTOMOC ON)
target_include_directories(tarlo_browser_editors PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(tarlo_browser_editors PUBLIC tarlo_browser tarlo_hexedit tarlo_tables tarlo_ui tarlo_model Qt6::Widgets)

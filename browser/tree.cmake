# The record tree: CTLView over its own item model, and the type pictures.
add_library(tarlo_browser STATIC
  ${CMAKE_CURRENT_LIST_DIR}/CTLView.cpp
  ${CMAKE_CURRENT_LIST_DIR}/CTLView.h
  ${CMAKE_CURRENT_LIST_DIR}/EntryFilter.cpp
  ${CMAKE_CURRENT_LIST_DIR}/EntryFilter.h
  ${CMAKE_CURRENT_LIST_DIR}/FilterBox.cpp
  ${CMAKE_CURRENT_LIST_DIR}/FilterBox.h
  ${CMAKE_CURRENT_LIST_DIR}/RecordTreeModel.cpp
  ${CMAKE_CURRENT_LIST_DIR}/RecordTreeModel.h
  ${CMAKE_CURRENT_LIST_DIR}/TreeMarks.cpp
  ${CMAKE_CURRENT_LIST_DIR}/TreeMarks.h
  ${CMAKE_CURRENT_LIST_DIR}/TypePictures.cpp
  ${CMAKE_CURRENT_LIST_DIR}/TypePictures.h
)
set_target_properties(tarlo_browser PROPERTIES AUTOMOC ON)
target_include_directories(tarlo_browser PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(tarlo_browser PUBLIC tarlo_document tarlo_ui tarlo_model Qt6::Widgets)

# File associations (freedesktop: desktop files, shared MIME info,
# mimeapps.list). Included by src/platform/CMakeLists.txt or by the
# dialogs; defines vellumassoc once.
if(NOT TARGET vellumassoc)
  add_library(vellumassoc STATIC ${CMAKE_CURRENT_LIST_DIR}/Associations.cpp)
  target_include_directories(vellumassoc PUBLIC ${CMAKE_CURRENT_LIST_DIR})
  # CIniFile (src/doc) edits mimeapps.list; MessageBox reports failures.
  target_include_directories(vellumassoc PRIVATE ${CMAKE_CURRENT_LIST_DIR}/../doc)
  target_link_libraries(vellumassoc PUBLIC vellumdoc vellumplatform)
  vellum_warnings(vellumassoc)
endif()

# File associations (freedesktop: desktop files, shared MIME info,
# mimeapps.list). Included by src/platform/CMakeLists.txt or by the
# dialogs; defines vellumassoc once.
if(NOT TARGET vellumassoc)
  # The MIME package text comes from the file that is installed, so the two
  # never differ.
  set(_mime_xml ${CMAKE_CURRENT_LIST_DIR}/../../res/desktop/org.vellum.Vellum.mime.xml)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${_mime_xml})
  file(READ ${_mime_xml} VELLUM_MIME_XML)
  configure_file(${CMAKE_CURRENT_LIST_DIR}/MimePackage.h.in ${PROJECT_BINARY_DIR}/generated/MimePackage.h @ONLY)
  add_library(vellumassoc STATIC ${CMAKE_CURRENT_LIST_DIR}/Associations.cpp)
  target_include_directories(vellumassoc PUBLIC ${CMAKE_CURRENT_LIST_DIR})
  # CIniFile edits mimeapps.list; MessageBox reports failures.
  target_include_directories(vellumassoc PRIVATE ${PROJECT_BINARY_DIR}/generated)
  target_link_libraries(vellumassoc PUBLIC vellumplatform)
  vellum_warnings(vellumassoc)
endif()

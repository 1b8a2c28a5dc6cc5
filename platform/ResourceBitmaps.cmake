# Builds res/bitmap<id>.png (the committed output of tools/artwork) into the executable as byte
# arrays: nothing is looked up on disk at run time. Sets ZP_RESOURCE_BITMAP_SOURCE.
set(_zp_bmp_ids 131 132 133 134 135 136 137 138 139)
set(_zp_bmp_text "#include \"ResourceBitmapData.h\"\n\nnamespace {\n")
set(_zp_bmp_cases "")
foreach(_id IN LISTS _zp_bmp_ids)
  set(_png ${CMAKE_SOURCE_DIR}/res/bitmap${_id}.png)
  if(EXISTS ${_png})
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${_png})
    file(READ ${_png} _hex HEX)
    string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," _bytes "${_hex}")
    string(APPEND _zp_bmp_text "const unsigned char kBitmap${_id}[] = {${_bytes}};\n")
    string(APPEND _zp_bmp_cases
           "    case ${_id}:\n        *size = sizeof kBitmap${_id};\n        return kBitmap${_id};\n")
  endif()
endforeach()
string(APPEND _zp_bmp_text "} // namespace\n\nconst unsigned char* ResourceBitmapPng(int id, size_t* size) {\n"
       "    switch (id) {\n${_zp_bmp_cases}    default:\n        *size = 0;\n        return nullptr;\n    }\n}\n")
set(ZP_RESOURCE_BITMAP_SOURCE ${CMAKE_CURRENT_BINARY_DIR}/ResourceBitmapData.cpp)
# Rewritten only when it changes, so a configure run does not force a rebuild.
file(CONFIGURE OUTPUT ${ZP_RESOURCE_BITMAP_SOURCE} CONTENT "${_zp_bmp_text}" @ONLY)

#pragma once
// Generated table of the PNG bytes of bitmaps 131 to 139 (see ResourceBitmaps.cmake).
#include <cstddef>

// The PNG bytes of bitmap id and their count, or null for an id without a bitmap.
const unsigned char* ResourceBitmapPng(int id, size_t* size);

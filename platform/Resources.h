#pragma once
// The program's resources, built into the executable from res/ so that nothing is looked up on
// disk at run time. Threads: any; the data are constant.
#include <wx/icon.h>

// res/Zenithprobe.xrc: dialog templates 102 and 142, menu 145.
const char* ResourceXrcText();

// Icon resource; 128 is the program's icon. An unknown id gives an invalid icon.
wxIcon LoadResourceIcon(int id);

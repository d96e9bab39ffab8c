// Ini files read through the file layer, so they load from packed data too.
#pragma once

#include <dictionary.h>

// Loads an ini file through the file layer. Returns a dictionary that the caller
// frees with iniparser_freedict, or null when the file does not open.
dictionary* zeIniLoad(const char* name);

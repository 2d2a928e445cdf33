#pragma once
// SimpleIni for byte strings: the text is decoded before it is handed over, so the library
// needs no converter of its own.
#define SI_NO_CONVERSION
#include <SimpleIni.h>

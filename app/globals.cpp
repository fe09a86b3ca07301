#include "app/globals.h"

std::string g_strModelPath;
std::string g_strModelFileName;

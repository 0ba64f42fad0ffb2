// What the Windows loader finds along the folders a load searches: for the
// Windows implementations in this folder (the load diagnosis, preflight).
#ifndef ZORV_HOST_PLATFORM_LOAD_SEARCH_WINDOWS_H
#define ZORV_HOST_PLATFORM_LOAD_SEARCH_WINDOWS_H

#include <string>

#include "load_path.h"

namespace zorv_host {

// Why an import of library (a full path) could not be had, searching the
// folders of that order for it, and for what the DLLs found there import in
// turn (a module of the name already in this process is taken, as the
// loader takes it); empty when every DLL was found with every name.
std::string missingAlong(const std::string& library, SearchOrder order, const SearchPlaces& places);

// The places of this process's loads of library (a full path).
SearchPlaces searchPlacesHere(const std::string& library);

} // namespace zorv_host

#endif

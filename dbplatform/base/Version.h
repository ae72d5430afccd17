// The version of the package (libdbplatform, libMorvane and libQuillet are released
// together and carry one version), at compile time and at run time.
//
// The build reads the three numbers below as the project's version, so this is the one
// place a release changes. A host that must run with an older or newer library than it
// was compiled with compares DBPLATFORM_VERSION_NUMBER with LibraryVersionNumber().
#pragma once

#include <dbplatform/base/Export.h>

DBPLATFORM_PUBLIC_BEGIN

#if !defined(__cplusplus) || __cplusplus < 202002L
#error "the dbplatform, Morvane and Quillet headers need C++20 or newer: compile with -std=c++20 (or -std=c++23)"
#endif

#define DBPLATFORM_VERSION_MAJOR 1
#define DBPLATFORM_VERSION_MINOR 0
#define DBPLATFORM_VERSION_PATCH 0

#define DBPLATFORM_VERSION_TEXT_OF(major, minor, patch) #major "." #minor "." #patch
#define DBPLATFORM_VERSION_TEXT_EXPANDED(major, minor, patch) DBPLATFORM_VERSION_TEXT_OF(major, minor, patch)
// "1.0.0"
#define DBPLATFORM_VERSION_STRING \
    DBPLATFORM_VERSION_TEXT_EXPANDED(DBPLATFORM_VERSION_MAJOR, DBPLATFORM_VERSION_MINOR, DBPLATFORM_VERSION_PATCH)
// 10000 * major + 100 * minor + patch: 10000 for 1.0.0
#define DBPLATFORM_VERSION_NUMBER \
    (DBPLATFORM_VERSION_MAJOR * 10000 + DBPLATFORM_VERSION_MINOR * 100 + DBPLATFORM_VERSION_PATCH)

// The same version under the package's name (find_package(Morvane), pkg-config morvane).
#define MORVANE_VERSION_MAJOR DBPLATFORM_VERSION_MAJOR
#define MORVANE_VERSION_MINOR DBPLATFORM_VERSION_MINOR
#define MORVANE_VERSION_PATCH DBPLATFORM_VERSION_PATCH
#define MORVANE_VERSION_STRING DBPLATFORM_VERSION_STRING
#define MORVANE_VERSION_NUMBER DBPLATFORM_VERSION_NUMBER

namespace dbplatform {

// The version of the libdbplatform the process runs with, as DBPLATFORM_VERSION_STRING
// was when it was built ("1.0.0"); a static text, never null.
const char* LibraryVersionText() noexcept;

// The same as 10000 * major + 100 * minor + patch, to compare with DBPLATFORM_VERSION_NUMBER.
int LibraryVersionNumber() noexcept;

}  // namespace dbplatform

DBPLATFORM_PUBLIC_END

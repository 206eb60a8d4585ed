// SPDX-License-Identifier: MIT
// The module's version, set here and only here: the sources take it from this
// header, and the build reads it from here for the project, the packages and
// the package descriptions.
#ifndef SYSUTILS_BASE_VERSION_H
#define SYSUTILS_BASE_VERSION_H

#define SYSUTILS_VERSION "1.1.6"

#endif // SYSUTILS_BASE_VERSION_H

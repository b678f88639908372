#pragma once
#include <QtGlobal>

// The pipeline library's public classes are callable from the package's other programs.
#if defined(SCREPORT_CORE_BUILD)
#define SCREPORT_CORE_EXPORT Q_DECL_EXPORT
#else
#define SCREPORT_CORE_EXPORT Q_DECL_IMPORT
#endif

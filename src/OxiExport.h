#pragma once

#include <QtCore/qglobal.h>

// Symbols are hidden by default; only what carries OXI_EXPORT crosses the library boundary.
#if defined(OXI_BUILDING_LIBRARY)
#define OXI_EXPORT Q_DECL_EXPORT
#else
#define OXI_EXPORT Q_DECL_IMPORT
#endif

// Declarations in private headers (*_p.h, never installed) that the library's own tests reach.
#define OXI_PRIVATE_EXPORT OXI_EXPORT

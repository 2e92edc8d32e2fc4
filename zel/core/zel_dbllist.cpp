// zel_dbllist.cpp - CZELDblList is a template and lives in its header; this
// unit makes sure the header compiles on its own with the framework's usual
// item types.
#include "zel_dbllist.h"
#include "zel_wchar_string.h"

template class CZELDblList<CZELObjNode<CZELWCharString>, CZELWCharString>;
template class CZELDblList<CZELPtrNode<CZELWCharString>, CZELWCharString>;
template class CZELDblList<CZELStdNode<ZEL_ULONG>, ZEL_ULONG>;

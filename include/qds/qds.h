// The QDS document library: load, read, edit, sign and save QDS package
// scripts, and expand the symbols and commands of their values.

#ifndef KNITFOLD_QDS_QDS_H_
#define KNITFOLD_QDS_QDS_H_

#include <qds/document.h>
#include <qds/symbol_table.h>

#endif  // KNITFOLD_QDS_QDS_H_

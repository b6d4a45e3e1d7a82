// The QDS document library: load, read, edit, sign and save QDS package
// scripts, and expand the symbols and commands of their values. Including
// this header includes the whole interface; docs/library.md is the tour.
//
// Failures are statuses (qds/status.h). The one exception that any function
// of the interface lets out is std::bad_alloc, when memory runs out: a
// program that must tell it, or undo its own work, catches it, as knitfold
// and qdstool do, and turns it into status 37 of the load or save it hit.

#ifndef KNITFOLD_QDS_QDS_H_
#define KNITFOLD_QDS_QDS_H_

#include <qds/document.h>
#include <qds/export.h>
#include <qds/flags.h>
#include <qds/merge.h>
#include <qds/status.h>
#include <qds/symbols.h>
#include <qds/text.h>
#include <qds/views.h>

#endif  // KNITFOLD_QDS_QDS_H_

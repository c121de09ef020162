#pragma once

#include "updater/engine/lists/installed_modules.h"
#include "updater/engine/lists/update_lists.h"

// The steps of the list builder that weigh the catalogue's packages against
// what this machine already has: local packages, installed modules and the
// continuous and reverse channels.

// Catalogue packages of an engine module that a local package already
// provides are replaced by that local package (keeping the catalogue's name,
// which the local record takes too, and its install and fetch marks). When
// the local packages reach at least as far as the catalogue, every package of
// the module is taken from them and one without a local twin is no longer
// wanted; when they are behind, only the packages they hold (same build, and
// same base or an installed module file not to be fetched) are replaced.
// Finally a catalogue package whose local twin has its build but another size
// is selected again.
void ReconcileLocalPackages(CUpdateList& updates, CLocalList& local);

// An installed engine module that the catalogue brings no further gets
// kInstalledUpToDate when its catalogue packages lose their install marks.
void MarkUpToDateModules(CInstalledList& installed, CUpdateList& updates);

// For every full package to install, the smallest continuous package that
// reaches the same build from a base this machine has replaces the
// catalogue's chain: the installed record notes its index
// (kInstalledPackageChosen, and kInstalledBaseIsModuleFile when the base is
// an installed module file) and the package gets the base as its basePath
// and kComponentInstallMarks (present, with the local file as its localFile,
// when it is held locally).
void ChooseContinuousPackages(CInstalledList& installed, CUpdateList& updates,
                              CContinuousList& continuous, const CBaseNupList& base,
                              const CLocalList& local);

// Reverse-channel packages that take an installed engine module back from
// its installed build, when nothing newer is selected for it: installed
// unless a local full package is at least as new; an older local full
// package is dropped; one held locally is taken from there.
void ReconcileReverseList(CInstalledModules& installed, CUpdateList& updates, CReverseList& reverse,
                          CLocalList& local);

#pragma once

#include "CatalogTree.h"
#include "Fixture.h"

#include <QByteArray>

#include <memory>

// A small tree of every kind of entry, for tests that change it on disk and in a
// scan alike: a.txt 10, b/ {c.bin 300, d/ {e 5, f 7}, g 1}, h/ (empty), link -> b,
// i/ {j 20, k/ {l 2}, tob -> ../b}, a name that is not UTF-8 and one with a percent sign.
void MakeSampleTree(const Fixture &fx);
inline const QByteArray NotUtf8Name = QByteArray("n\xff\xfe.bin");
inline const QByteArray PercentName = QByteArray("p %41 q");

// A new scan of `path` that must be complete (throws otherwise).
std::shared_ptr<CatalogTree> CompleteScan(const QByteArray &path);

// Whether anything stands at `path` (a link counts as itself).
bool Exists(const QByteArray &path);

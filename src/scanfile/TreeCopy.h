#pragma once

#include "CatalogTree.h"

#include <QByteArrayView>

// Appends to `to`, below its node `parent`, the entries of one folder of `from` as one
// block, each with the data the scan gave it (kind, flags, size, times, the unread
// mark); `name` replaces the name of the first entry when given (a merged scan's
// top). Returns the first new node.
NodeIndex CopyEntry(
    CatalogTree &to, NodeIndex parent, const CatalogTree &from, NodeIndex node, QByteArrayView name = {});

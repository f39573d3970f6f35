#pragma once

#include "CatalogTree.h"

#include <QByteArrayView>

#include <string>

// The FileExt of a file as bytes: empty when the record has no details, as its text is.
QByteArrayView FileExtensionBytes(const CatalogTree &tree, NodeIndex i, const CatalogNodeData &n);

// The key under which letter cases of one extension meet (the type chart's slices):
// ASCII lowered in place, anything else through Unicode simple case folding of its
// text (one character to one: "ß" and "SS" stay apart). Undecodable bytes meet where
// their texts, which the slice lists compare, are equal; the UTF-8 of a type's text
// therefore gives the key of the bytes it was read from.
void FoldExtension(QByteArrayView extension, std::string &key);

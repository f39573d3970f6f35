#pragma once

#include "TXMLAgerangeType.h"
#include "TXMLFrameType.h"
#include "TXMLNodesType.h"
#include "TXMLSizerangeType.h"

// The root of the configuration document as its users see it: the format version,
// the window frame block, the column catalogue and the two range lists. Reading a
// child that the file lacks adds it, empty, so the next save writes it.
class IXMLConfigType
{
public:
    virtual ~IXMLConfigType() = default;

    virtual int versionNo() const = 0;
    virtual void setVersionNo(int value) = 0;

    virtual TXMLFrameType frame() const = 0;
    virtual TXMLNodesType nodes() const = 0;
    virtual TXMLAgerangeType agerange() const = 0;
    virtual TXMLSizerangeType sizerange() const = 0;

    // Whether the lists paint size bars behind their percentages: the attribute
    // `sizeBars` of the root, absent (and so not written) while they do, "False" once
    // they are turned off. Reading it adds nothing; a value that cannot be read is on.
    virtual bool sizeBars() const = 0;
    virtual void setSizeBars(bool value) = 0;
};

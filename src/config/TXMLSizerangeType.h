#pragma once

#include "TXMLItemListType.h"

// The size ranges (`sizerange`); item values are numbers of bytes.
class TXMLSizerangeType : public TXMLItemListType
{
public:
    using TXMLItemListType::TXMLItemListType;
};

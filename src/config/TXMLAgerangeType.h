#pragma once

#include "TXMLItemListType.h"

// The age ranges (`agerange`); item values are numbers of days.
class TXMLAgerangeType : public TXMLItemListType
{
public:
    using TXMLItemListType::TXMLItemListType;
};

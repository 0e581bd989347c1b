#pragma once

#include <QtCore/QList>
#include <QtCore/QString>

// Records carried by the storage messages, each as one element with a child per field.
namespace StorageConverter
{
// A bookmark in a record: "Bookmark" with "Offset" (us) and "Comment".
struct struBOOKMARK
{
    unsigned long long ullOffset = 0;
    QString strComment;
    bool operator==(const struBOOKMARK& a_o) const
    {
        return ullOffset == a_o.ullOffset && strComment == a_o.strComment;
    }
};

// A part of a record to copy: "Section" with "StartOffset" and "StopOffset" (us).
struct struSECTION
{
    unsigned long long ullStartOffset = 0;
    unsigned long long ullStopOffset = 0;
    bool operator==(const struSECTION& a_o) const
    {
        return ullStartOffset == a_o.ullStartOffset && ullStopOffset == a_o.ullStopOffset;
    }
};

// An entry of a record's history: "HistoryEntry" with "timestamp" and "Comment".
struct struHISTORY_ENTRY
{
    unsigned long long ullTimestamp = 0;
    QString strComment;
    bool operator==(const struHISTORY_ENTRY& a_o) const
    {
        return ullTimestamp == a_o.ullTimestamp && strComment == a_o.strComment;
    }
};

// A data-rate class of the storage unit: "DataRate" with the attribute class and the children
// "Throughput" (bps), "MaxNumber", "Samplerate" and "Mode" ("long" or "short").
struct struDATA_RATE_CLASS
{
    QString strClass;
    unsigned long long ullThroughput = 0;
    unsigned int uiMaxNumber = 0;
    unsigned int uiSamplerate = 0;
    int iMode = 0;  // eDATA_RATE_MODE
    bool operator==(const struDATA_RATE_CLASS& a_o) const
    {
        return strClass == a_o.strClass && ullThroughput == a_o.ullThroughput && uiMaxNumber == a_o.uiMaxNumber &&
               uiSamplerate == a_o.uiSamplerate && iMode == a_o.iMode;
    }
};
}  // namespace StorageConverter

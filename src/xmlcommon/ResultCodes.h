#pragma once

// Result codes of the document model and of every converter: 0 is success.
namespace XmlCommon
{
enum eRESULT_CODES : int
{
    RESULT_OK = 0,
    RESULT_WRONG_KIND = 0x02420000,        // the tree is not of the expected kind
    RESULT_INVALID_ARG = 0x02420001,       // an argument is null, empty or invalid
    RESULT_MISSING = 0x02420002,           // the element or attribute is missing
    RESULT_MALFORMED = 0x02420003,         // a value is present but malformed
    RESULT_INDEX_DUPLICATE = 0x02400000,   // an index of an indexed list is used twice
    RESULT_INDEX_GAP = 0x02400003,         // an index is missing from the sequence
    RESULT_INDEX_MISSING = 0x02400004,     // an element of an indexed list has no index
    RESULT_INDEX_NOT_NUMBER = 0x02400005,  // an index is not a number
    RESULT_NO_ROOT = 0x02400006,           // the message has no element tree
};
}  // namespace XmlCommon

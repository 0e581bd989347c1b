#pragma once

#include <OrvexXmlInterface/OxiExport.h>

#include <QtCore/QByteArray>

namespace XmlCommon
{
// Takes wire text away in chunks while a tree is still being written, so that a large message
// never has to be held whole in memory.
class OXI_EXPORT CWorkMan
{
public:
    virtual ~CWorkMan();
    // Removes bytes from the front of the buffer.
    virtual void processBuffer(QByteArray& a_baBuffer) = 0;
    // Buffer size at which processBuffer is to be called; 0 means never.
    virtual unsigned int getBufferThreshold() = 0;
    // False stops the writer at once (the open elements stay unclosed).
    virtual bool proceed() = 0;
};
}  // namespace XmlCommon

#include <OrvexXmlInterface/OrvexXmlInterface.h>

#include <cstdio>

int main()
{
    using namespace XmlCommon;
    ptrCXmlElement ptrReply(new CXmlElement(Tag::Reply));
    ptrReply->setAttribute("id", QStringLiteral("17"));
    ptrReply->setAttribute("type", QStringLiteral("lag"));
    QByteArray baWire;
    unsigned int uiUncompressed = 0;
    ptrReply->toByteArray(baWire, uiUncompressed);
    std::fwrite(baWire.constData(), 1, size_t(baWire.size()), stdout);
    return 0;
}

// The object facade in use: set-up, a message built with the document model and shown as a
// formatted dump, a data tree turned into text and back, result-code tests, a notifier, and the
// text output functions (standard error here, the debugger output when one is attached).
#include <OrvexXmlInterface/facade/ConverterHelpers.h>
#include <OrvexXmlInterface/facade/XmlMessageHelpers.h>
#include <OrvexXmlInterface/facade/kv_XML.h>
#include <OrvexXmlInterface/facade/kv_XMLObject.h>
#include <OrvexXmlInterface/xmlcommon/CFaultTree.h>

#include <QtCore/QCoreApplication>
#include <QtCore/QDateTime>

using namespace XmlCommon;
using namespace kv_XML;

namespace
{
ptrCXmlElement element(const char* a_pszName, const QString& a_strValue = QString())
{
    ptrCXmlElement ptr(new CXmlElement(CTagname(a_pszName)));
    ptr->setValue(a_strValue);
    return ptr;
}

// A set request for the component Tuner: <Setup><Frequency unit="Hz">118250000</Frequency></Setup>.
ptrCXmlMessage buildRequest()
{
    ptrCXmlElement ptrFrequency = element("Frequency", QStringLiteral("118250000"));
    ptrFrequency->setAttribute("unit", QStringLiteral("Hz"));
    ptrCXmlElement ptrSetup = element("Setup");
    ptrSetup->addChild(ptrFrequency, -1);

    CMsgFragment objFragment;
    objFragment.setComponentName(CTagname("Tuner"));
    objFragment.setComponentVersion(QStringLiteral("2"));
    objFragment.setDataTree(CDataTree(ptrSetup));

    ptrCXmlMessage ptrMessage(new CXmlMessage());
    ptrMessage->setServiceType(CXmlMessage::REQUEST_SET);
    ptrMessage->setMessageID(12);
    ptrMessage->addFragment(objFragment, -1);
    return ptrMessage;
}
}  // namespace

int main(int argc, char* argv[])
{
    QCoreApplication objApp(argc, argv);
    if (!setup())
        return 1;

    // Host code reports what it sends through a notifier; here a log line for each message.
    kv_IXmlMsgNotifier objNotifier;
    QObject::connect(&objNotifier, &kv_IXmlMsgNotifier::si_messageSent,
                     [](const QString& a_dateTime, ptrCXmlMessage a_message, quint32 a_connectionId) {
                         kvxml_message_output(QStringLiteral("%1 sent to connection %2:\n%3")
                                                  .arg(a_dateTime)
                                                  .arg(a_connectionId)
                                                  .arg(XmlMessageHelpers::debugFormatMessage(a_message)));
                     });
    const ptrCXmlMessage ptrRequest = buildRequest();
    emit objNotifier.si_messageSent(QDateTime::currentDateTimeUtc().toString(Qt::ISODate), ptrRequest, 1);

    // A data tree as text and back again.
    const CDataTree objData = ptrRequest->getFragment(0).getDataTree();
    const QByteArray baText = XmlMessageHelpers::dataTreeToByteArray(objData);
    kvxml_message_output(QStringLiteral("data tree as text:") + QString::fromUtf8(baText));
    bool bOk = false;
    const CDataTree objBack = XmlMessageHelpers::byteArrayToDataTree(baText, bOk);
    kvxml_message_output(QStringLiteral("read back: %1, data name %2")
                             .arg(bOk ? QStringLiteral("ok") : QStringLiteral("failed"),
                                  static_cast<const QString&>(objBack.getDataName())));

    // Malformed text: the facade writes the reader's error itself.
    XmlMessageHelpers::byteArrayToXmlElement("<Setup><Frequency></Setup>", bOk);

    // Result codes of the document model and the converters: 0 is success.
    CFaultTree objFault;
    unsigned int uiId = 0;
    const int iMissing = objFault.getID(uiId);
    objFault.setID(0x02400007);
    const int iPresent = objFault.getID(uiId);
    kvxml_message_output(
        QStringLiteral("fault id of an empty fault tree: %1; after setID: %2, id 0x%3")
            .arg(ConverterHelpers::isFailure(iMissing) ? QStringLiteral("failure") : QStringLiteral("success"),
                 ConverterHelpers::isSuccess(iPresent) ? QStringLiteral("success") : QStringLiteral("failure"))
            .arg(uiId, 0, 16));

    // Wide and narrow text may be mixed: both reach the stream as UTF-8 bytes.
    kvxml_message_stderr_output(L"wide text: 118.25 MHz \u00b1 5 kHz");
    kvxml_message_stderr_output("narrow text: done");

    cleanup();
    return 0;
}

#include "CHandleBroadcast.h"

#include "CMainServiceBroadcastParser.h"

namespace XmlCommunication
{
CHandleBroadcast::CHandleBroadcast(QObject* a_pParent) : QObject(a_pParent), m_objReceiver(this) {}

void CHandleBroadcast::start(unsigned short a_usPort, const typBroadcastParserList& a_lstParsers)
{
    typBroadcastParserList lstParsers = a_lstParsers;
    auto* pobjMainService = new CMainServiceBroadcastParser();
    connect(pobjMainService, &CMainServiceBroadcastParser::signalMainServiceData, this,
            &CHandleBroadcast::signalMainServiceData);
    connect(pobjMainService, &CMainServiceBroadcastParser::signalInitialMainServiceData, this,
            &CHandleBroadcast::signalInitialMainServiceData);
    lstParsers.append(QSharedPointer<IBroadcastParser>(pobjMainService));
    m_objReceiver.start(a_usPort, lstParsers);
}
}  // namespace XmlCommunication

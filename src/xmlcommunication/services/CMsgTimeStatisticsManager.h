#pragma once

#include <OrvexXmlInterface/OxiExport.h>
#include <OrvexXmlInterface/xmlcommon/CXmlMessage.h>
#include <OrvexXmlInterface/xmlcommunication/transport/TransportTypes.h>

#include <QtCore/QHash>
#include <QtCore/QList>
#include <QtCore/QObject>

namespace XmlCommunication
{
// Where the time of a request went: for every request sent or received on one connection, the
// moments it was created, sent and received and every lag reply that concerned it. Moments taken
// on the far side travel in root attributes of the messages ("ReqSendTime", "ReqRecvTime",
// "RepSendTime"; microseconds since 1970-01-01 UTC). When a reply turns out to be a time-out, or
// a request times out locally, a statistics text lays the times side by side (SignalLogText);
// replies in time only end their record.
//
// Lives on its connection's thread.
class OXI_EXPORT CMsgTimeStatisticsManager : public QObject
{
    Q_OBJECT

public:
    enum eMsgRouteType : int
    {
        eMRT_SEND = 0,  // this side sends the request (or, for a reply, sends the reply)
        eMRT_RECV = 1,  // this side receives it
    };
    enum eReplyLagType : int
    {
        eRLT_STORE = 0,  // a host lag held back by the reply-lag manager
        eRLT_SEND = 1,
        eRLT_RECV = 2,
    };

    struct struReplyLag
    {
        eReplyLagType eType = eRLT_STORE;
        quint64 u64OperationTime = 0;
        quint32 u32Lag = 0;           // the lag reply's available time, microseconds
        quint64 u64PeerSendTime = 0;  // a received lag's "RepSendTime", 0 when missing
    };

    struct struMsgTimeData
    {
        eMsgRouteType eRoute = eMRT_SEND;
        quint32 u32ContinuousId = 0;
        quint32 u32MessageId = 0;
        quint64 u64CreationTime = 0;
        quint64 u64RequestSendTime = 0;
        quint64 u64RequestRecvTime = 0;
        quint64 u64ReplyTime = 0;
        quint32 u32AvailableTime = 0;
        bool bInternalTimeout = false;
        QList<struReplyLag> lstReplyLags;
    };

    CMsgTimeStatisticsManager();
    ~CMsgTimeStatisticsManager() override;

    void init(unsigned int a_uiConnectionId);
    void setInfo(struClientData a_objInfo);
    void clean();

    void addNewRequestMsg(eMsgRouteType a_eRoute, XmlCommon::ptrCXmlMessage a_ptrRequest);
    // a_uiRequestContinuousId: 0 when not known.
    void addReplyLag(eReplyLagType a_eType, XmlCommon::ptrCXmlMessage a_ptrLag, unsigned int a_uiRequestContinuousId);
    // a_eRoute: whether this side sends or receives the reply. a_uiRequestContinuousId: 0 when not known.
    void handleReplyMsg(eMsgRouteType a_eRoute, XmlCommon::ptrCXmlMessage a_ptrReply,
                        unsigned int a_uiRequestContinuousId);
    void handleInternalTimeout(unsigned int a_uiRequestContinuousId);
    // Which request a received reply answers.
    void setReplayRequestLink(unsigned int a_uiReplyContinuousId, unsigned int a_uiRequestContinuousId);

    // Seconds with three decimals.
    static QString formatTime(quint64 a_u64Microseconds);
    static const char* msgRouteTypeToString(eMsgRouteType a_eRoute);
    static const char* replyLagTypeToString(eReplyLagType a_eType);

signals:
    void SignalLogText(QString a_strText);

protected:
    void logMsgTimeStatistics(const struMsgTimeData& a_objData, bool a_bInternal);

private:
    Q_DISABLE_COPY(CMsgTimeStatisticsManager)

    static bool isTimeoutReply(const XmlCommon::ptrCXmlMessage& a_ptrReply);
    bool findRequestOfReply(eMsgRouteType a_eRoute, const XmlCommon::ptrCXmlMessage& a_ptrReply, unsigned int a_uiGiven,
                            quint32& a_u32Request);

    unsigned int m_uiConnectionId = 0;
    QHash<quint32, struMsgTimeData> m_hashRequests;
    QHash<quint32, quint32> m_hashReplyLinks;  // reply's continuous id -> request's
    const QByteArray m_baReqSendTime;
    const QByteArray m_baReqRecvTime;
    const QByteArray m_baRepSendTime;
    struClientData m_objInfo;
};
}  // namespace XmlCommunication

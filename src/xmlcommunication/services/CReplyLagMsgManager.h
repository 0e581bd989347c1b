#pragma once

#include <OrvexXmlInterface/OxiExport.h>
#include <OrvexXmlInterface/xmlcommon/CXmlMessage.h>
#include <OrvexXmlInterface/xmlcommunication/services/CDebugFlags.h>
#include <OrvexXmlInterface/xmlcommunication/services/CTriggerManager.h>

#include <QtCore/QHash>
#include <QtCore/QMap>
#include <QtCore/QObject>

namespace XmlCommunication
{
// Keeps every request received on one connection until its reply leaves, and tells the requester
// about each extension of its deadline just in time and once: lag replies that the host sends
// early are held back, and 0.1 s before the deadline the requester knows, one lag reply carrying
// the whole extension granted since goes out. Without an extension nothing is sent and the
// request runs into its deadline.
//
// The manager keeps no deadline of its own: each entry holds a lag template that shares the
// request's deadline, so every extension the host applies to the request is seen at once.
//
// Lives on its connection's thread; the trigger manager calls slotSetTrigger there.
class OXI_EXPORT CReplyLagMsgManager : public QObject, public CDebugFlags, public IfTriggerReceiver
{
    Q_OBJECT

public:
    struct struRequestData
    {
        quint32 u32MessageId = 0;
        // The lag template: a lag reply for the request sharing its deadline, which does not
        // extend that deadline again when sent.
        XmlCommon::ptrCXmlMessage ptrMessage;
    };

    enum eMAP_TYPES : int
    {
        eMAP_NONE = 0,
        eMAP_REQUEST = 1,
        eMAP_LAST_SECOND = 2,
    };

    // A request is due for a lag this long before its deadline (microseconds).
    static const quint64 m_u64LeadMargin = 100000;

    explicit CReplyLagMsgManager(unsigned int a_uiConnectionId);
    ~CReplyLagMsgManager() override;

    void init();
    // Every received request handed on to the host.
    void addNewRequestMsg(XmlCommon::ptrCXmlMessage a_ptrRequest);
    // Every reply the host sends on the connection, before it is sent.
    void handleReplyMsg(XmlCommon::ptrCXmlMessage a_ptrReply);
    // A lag reply the host wants to send: true when it is to be sent now, false when it is held
    // back (its extension goes out with the manager's own lag reply).
    bool handleReplyLagMsg(XmlCommon::ptrCXmlMessage a_ptrLag);
    // Appends a dump of both maps (nothing when both are empty).
    void traceDebugInfo(QString& a_strText) const;

public slots:
    void slotSetTrigger(quint64 a_u64Timestamp) override;
    void slotDebugFlagSetup(XmlCommunication::typMapDbgFlags a_mapSetup);

signals:
    // A lag reply made by the manager; the second argument is always 0.
    void SignalMsgToSend(XmlCommon::ptrCXmlMessage a_ptrMsg, quint32 a_u32ContinuousId);

protected:
    void addReqMsgToMap(const struRequestData& a_objData);
    void addReqMsgToLastSecond(const struRequestData& a_objData);
    void removeNeverAnsweredRequests();
    XmlCommon::ptrCXmlMessage generateTimeoutIncrementMsg(unsigned int a_uiAvailableTime,
                                                          const struRequestData& a_objData);
    eMAP_TYPES whichMap(const struRequestData& a_objData) const;

private:
    Q_DISABLE_COPY(CReplyLagMsgManager)

    QString prefix() const;
    bool takeFromRequestMap(quint32 a_u32MessageId, struRequestData& a_objData, quint64& a_u64Key);
    void forgetKey(quint32 a_u32MessageId, quint64 a_u64Key);

    unsigned int m_uiConnectionId;
    // Key: the request's deadline less the lead margin, as it was on insertion.
    QMultiMap<quint64, struRequestData> m_mapRequests;
    // The keys of m_mapRequests by message id: a reply finds its request without a search
    // through all those waiting.
    QMultiHash<quint32, quint64> m_hashKeysOfId;
    // Key: the continuous id of the request (shared by every message made from it).
    QMap<quint32, struRequestData> m_mapLastSecond;
    ptrCTriggerManager m_ptrTriggerManager;
};
}  // namespace XmlCommunication

#pragma once

#include <OrvexXmlInterface/OxiExport.h>
#include <OrvexXmlInterface/xmlcommon/CXmlMessage.h>

#include <QtCore/QMap>

#include <mutex>

namespace XmlCommunication
{
// The store of partial replies. When one request addresses both the communication layer and the
// host, the layer answers its fragments at once into a partial reply kept here under the
// request's continuous id; the host's reply later gets those fragments pasted back at the
// positions they had in the request, so that the requester receives one reply in request order.
// A cut fragment carries its position as the attribute "specialIndex" until it is pasted.
//
// The store holds at most m_iMaxStoredReplies partial replies: the oldest goes first, so a peer
// whose requests the host never answers cannot make it grow without end.
class OXI_EXPORT CCutNPasteFragments
{
public:
    static const int m_iMaxStoredReplies = 4096;

    CCutNPasteFragments();
    virtual ~CCutNPasteFragments();

    // Moves a_objFragment out of a_ptrRequest into a_ptrReply (made as the request's reply when
    // null) at the front, marked with its request position a_iIndex. Callers go from the last
    // fragment to the first, so the partial reply keeps the request's order.
    static void cutFragment(XmlCommon::ptrCXmlMessage a_ptrRequest, XmlCommon::ptrCXmlMessage& a_ptrReply,
                            XmlCommon::CMsgFragment a_objFragment, int a_iIndex);
    // Replaces a reply stored earlier under the same id.
    void storeReplyFragments(quint32 a_u32ContinuousId, XmlCommon::ptrCXmlMessage a_ptrReply);
    // Takes the partial reply stored under a_ptrReply's continuous id, if any, and inserts its
    // fragments into a_ptrReply at their request positions.
    void pasteFragments(XmlCommon::ptrCXmlMessage a_ptrReply);
    // Inserts every fragment of a_ptrSource into a_ptrTarget at its "specialIndex" position
    // (at the end when it has none).
    static void mergeMessages(XmlCommon::ptrCXmlMessage a_ptrTarget, XmlCommon::ptrCXmlMessage a_ptrSource);
    int numberOfMsgs() const;

private:
    Q_DISABLE_COPY(CCutNPasteFragments)

    struct struStored
    {
        XmlCommon::ptrCXmlMessage ptrReply;
        quint64 u64Sequence = 0;  // order of storing, for dropping the oldest
    };

    void dropOldest();

    QMap<quint32, struStored> m_mapStore;
    quint64 m_u64NextSequence = 0;
    mutable std::mutex m_objMutex;
};
}  // namespace XmlCommunication

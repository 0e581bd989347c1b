#pragma once

#include <OrvexXmlInterface/OxiExport.h>
#include <OrvexXmlInterface/xmlcommon/CMsgFragment.h>
#include <OrvexXmlInterface/xmlcommon/CTreeBase.h>

#include <QtCore/QAtomicInt>
#include <QtCore/QSharedPointer>
#include <QtCore/QStringList>

#include <memory>

namespace XmlCommon
{
class CXmlMessage;
struct struMessageHome;
using ptrCXmlMessage = QExplicitlySharedDataPointer<CXmlMessage>;

// One message as it travels: the element tree (root "Request", "Reply" or "Event" with the
// envelope attributes, one child per addressed component) and what never goes on the wire:
// connection id, continuous id, creation time stamps, deadline and the request a lag reply answers.
class OXI_EXPORT CXmlMessage : public CTreeBase, public QSharedData
{
public:
    enum eSERVICE_TYPES : int
    {
        NONE = 0,
        REQUEST_GET = 1,
        REQUEST_SET = 2,
        REPLY_GET = 3,
        REPLY_SET = 4,
        BROADCAST = 5,
        REPLY_LAG = 6,
    };
    enum eMESSAGE_DIRECTION : int
    {
        DIRECTION_NEUTRAL = 0,
        DIRECTION_RECEIVED = 1,
        DIRECTION_SENDING = 2,
        DIRECTION_NO_HEADER = 3,
    };
    enum eTIMESTAMP_TYPES : int
    {
        TIMESTAMP_ABSOLUTE = 0,
        TIMESTAMP_MONOTONIC = 1,
    };

    static const unsigned int m_uiMaxAvailableTime = 1000000000;

    explicit CXmlMessage(unsigned int a_uiConnectionId = 0);
    // Shares everything with the source, like copyShared(); counts as an instance of its own.
    CXmlMessage(const CXmlMessage& a_objOther);
    CXmlMessage& operator=(const CXmlMessage&) = delete;
    ~CXmlMessage() override;

    static int getNumberOfInstances();
    static int getMaxNumberOfInstances();
    static unsigned int getNextId();

    // A message with the same ids sharing the time values; a_bDeep gives it a deep copy of the
    // tree, otherwise it has no tree.
    ptrCXmlMessage copyShared(bool a_bDeep) const;

    unsigned int getContinuousId() const { return m_uiContinuousId; }
    unsigned int getConnectionId() const { return m_uiConnectionId; }
    void setConnectionId(unsigned int a_uiConnectionId) { m_uiConnectionId = a_uiConnectionId; }

    void setMessageID(unsigned int a_uiId);
    unsigned int setMessageID_byGenerator();
    unsigned int getMessageID(bool* a_pbOk = nullptr) const;

    eSERVICE_TYPES getServiceType() const;
    int setServiceType(eSERVICE_TYPES a_eType);
    static const char* servicetypeToString(eSERVICE_TYPES a_eType);
    bool isRequest() const;
    bool isReply() const;

    bool setAvailableTime(unsigned int a_uiMicroseconds);
    unsigned int getAvailableTime() const;
    void setTimeout(unsigned long long a_ullDeadline);
    unsigned long long getTimeout() const;
    unsigned int getRemainingTime() const;
    void addRemainingTime(unsigned int a_uiMicroseconds);
    unsigned long long getCreationTimestamp(eTIMESTAMP_TYPES a_eType) const;
    void setCreationTimestamp(ptrCXmlMessage& a_ptrOther);

    void setOrigin(const QString& a_strOrigin);
    QString getOrigin() const;
    void orderRequestTree();

    int addFragment(CMsgFragment a_objFragment, int a_iIndex = -1);
    int removeFragment(CMsgFragment a_objFragment);
    int getNumberOfFragments() const;
    CMsgFragment getFragment(unsigned int a_uiIndex) const;
    QStringList getComponentTags() const;

    // Turns a received request into its reply in place; a fault id and time stamp (both
    // non-zero) make every fragment carry that fault and the failed request.
    void changeRequestToReply(unsigned int a_uiFaultId, unsigned long long a_ullTimestamp);
    // The lag reply that asks the requester for a_uiIncrement more microseconds, or null.
    ptrCXmlMessage generateTimeoutIncrementMsg(unsigned int a_uiIncrement, bool a_bKeepParentOpen);
    ptrCXmlElement getRequestParentFirstTag() const { return m_ptrRequestParent; }
    bool isParentUpdated() const;
    void updateRequestParent();

    virtual int messageToDbgString(QString& a_strOut, eMESSAGE_DIRECTION a_eDirection) const;
    virtual QString toDbgString(eMESSAGE_DIRECTION a_eDirection) const;

protected:
    void disableCompression() { m_bCompressionDisabled = true; }
    bool isCompressionDisabled() const { return m_bCompressionDisabled; }

    static QAtomicInt m_lInstanceCounter;
    static QAtomicInt m_lMaxInstances;

private:
    struct struSharedTimes;

    void setContinuousId(unsigned int a_uiId) { m_uiContinuousId = a_uiId; }
    CXmlElement& root();
    QString headerLine(eMESSAGE_DIRECTION a_eDirection) const;
    static void countInstance();

    unsigned int m_uiContinuousId;
    unsigned int m_uiConnectionId;
    // The creation stamps, the deadline, their recursive mutex and the parent-updated flag:
    // shared by the copies made with copyShared, so that a deadline moved through one is seen by all.
    QSharedPointer<struSharedTimes> m_ptrShared;
    ptrCXmlElement m_ptrRequestParent;
    bool m_bCompressionDisabled = false;
    // The thread the tree goes back to for its release, when the thread that made it keeps a home.
    std::shared_ptr<struMessageHome> m_ptrHome;
};
}  // namespace XmlCommon

Q_DECLARE_METATYPE(XmlCommon::ptrCXmlMessage)

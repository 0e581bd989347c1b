#include "CXmlMessage_p.h"

#include "ResultCodes.h"
#include "Tagnames.h"

#include <OrvexXmlInterface/platform/Platform.h>

#include <QtCore/QAbstractEventDispatcher>
#include <QtCore/QRecursiveMutex>

#include <atomic>
#include <mutex>
#include <vector>

namespace XmlCommon
{
namespace
{
const QByteArray s_baType("type");
const QByteArray s_baId("id");
const QByteArray s_baTime("time");
const QByteArray s_baOrigin("origin");
const QByteArray s_baRequestTree("requestTree");

QString seconds(unsigned long long a_ullMicroseconds)
{
    return QString::number(double(a_ullMicroseconds) / 1000000.0, 'f', 3);
}
}  // namespace

struct CXmlMessage::struSharedTimes
{
    QRecursiveMutex mutex;
    unsigned long long ullCreationUtc = Platform::nowUtcUs();
    unsigned long long ullCreationMonotonic = Platform::nowMonotonicUs();
    unsigned long long ullDeadline = 0;
    bool bParentUpdated = false;
};

struct struMessageHome
{
    // A busy home drains at every read or send; these bound what waits while it sleeps, and in all.
    static const size_t s_uiWakeAt = 64;
    static const size_t s_uiMaxWaiting = 256;

    // a_pWaker: an object of the home's thread, or null for a thread without a Qt loop.
    // The lists grow with use and keep their room, so that an idle connection costs nothing.
    explicit struMessageHome(QObject* a_pWaker) : pWaker(a_pWaker), uiMaxWaiting(a_pWaker ? s_uiMaxWaiting : s_uiWakeAt)
    {}
    // Called where a message ends, on another thread.
    void takeBack(ptrCXmlElement& a_ptrRoot)
    {
        std::lock_guard<std::mutex> lock(objMutex);
        if (!bOpen || vecWaiting.size() >= uiMaxWaiting)
            return;
        vecWaiting.push_back(std::move(a_ptrRoot));
        bAnyWaiting.store(true, std::memory_order_relaxed);
        // Posting is safe while the waker lives, which release(true) ends under this lock; Qt
        // itself guards the posting against the end of the home's loop.
        if (pWaker && vecWaiting.size() >= s_uiWakeAt && bIdle.exchange(false))
            QMetaObject::invokeMethod(
                pWaker, [] { MessageHome::drain(); }, Qt::QueuedConnection);
    }
    // Called on the home's own thread only.
    void release(bool a_bClose)
    {
        QObject* pEndedWaker = nullptr;
        {
            std::lock_guard<std::mutex> lock(objMutex);
            vecWaiting.swap(vecReleasing);
            bAnyWaiting.store(false, std::memory_order_relaxed);
            if (a_bClose) {
                bOpen = false;
                std::swap(pEndedWaker, pWaker);
            }
        }
        vecReleasing.clear();
        delete pEndedWaker;
    }

    std::mutex objMutex;
    QObject* pWaker;  // under objMutex; owned, lives in the home's thread
    const size_t uiMaxWaiting;
    std::vector<ptrCXmlElement> vecWaiting;    // under objMutex
    std::vector<ptrCXmlElement> vecReleasing;  // the home's thread only
    std::atomic<bool> bAnyWaiting{false};
    std::atomic<bool> bIdle{false};  // the home's loop is about to sleep
    bool bOpen = true;               // under objMutex
};

namespace
{
// A thread's home; a thread may hold several hosts or connections.
struct struHomeOfThread
{
    std::shared_ptr<struMessageHome> ptrHome;
    QMetaObject::Connection objIdle;
    int iOpened = 0;
};
// A plain pointer stays readable to the thread's very end, when a message or a host may still
// end after the thread's other locals are gone.
thread_local struHomeOfThread* t_pHome = nullptr;

void endHomeOfThread()
{
    t_pHome->ptrHome->release(true);
    delete t_pHome;
    t_pHome = nullptr;
}

// A thread that ends with its home open closes it then.
struct struHomeAtThreadEnd
{
    ~struHomeAtThreadEnd()
    {
        if (t_pHome)
            endHomeOfThread();
    }
    void arm() {}
};
thread_local struHomeAtThreadEnd t_objHomeAtThreadEnd;

std::shared_ptr<struMessageHome> homeOfThisThread()
{
    return t_pHome ? t_pHome->ptrHome : std::shared_ptr<struMessageHome>();
}
}  // namespace

void MessageHome::open()
{
    if (t_pHome) {
        ++t_pHome->iOpened;
        return;
    }
    t_objHomeAtThreadEnd.arm();
    QAbstractEventDispatcher* pDispatcher = QAbstractEventDispatcher::instance();
    t_pHome = new struHomeOfThread{std::make_shared<struMessageHome>(pDispatcher ? new QObject : nullptr), {}, 1};
    if (!pDispatcher)
        return;
    t_pHome->objIdle = QObject::connect(pDispatcher, &QAbstractEventDispatcher::aboutToBlock, [] {
        if (!t_pHome)
            return;
        MessageHome::drain();
        t_pHome->ptrHome->bIdle.store(true);
    });
}

void MessageHome::drain()
{
    if (t_pHome && t_pHome->ptrHome->bAnyWaiting.load(std::memory_order_relaxed))
        t_pHome->ptrHome->release(false);
}

void MessageHome::close()
{
    if (!t_pHome || --t_pHome->iOpened > 0)
        return;
    QObject::disconnect(t_pHome->objIdle);
    endHomeOfThread();
}

namespace
{
// The last continuous id handed out; 0 is never one.
std::atomic<unsigned int> s_uiContinuousNumber{0};
}  // namespace

void MessageTesting::setLastContinuousId(unsigned int a_uiId)
{
    s_uiContinuousNumber.store(a_uiId);
}
QAtomicInt CXmlMessage::m_lInstanceCounter;
QAtomicInt CXmlMessage::m_lMaxInstances;

CXmlMessage::CXmlMessage(unsigned int a_uiConnectionId)
    : m_uiContinuousId(getNextId()), m_uiConnectionId(a_uiConnectionId),
      m_ptrShared(QSharedPointer<struSharedTimes>::create()), m_ptrHome(homeOfThisThread())
{
    countInstance();
}

CXmlMessage::CXmlMessage(const CXmlMessage& a_objOther)
    : CTreeBase(a_objOther), QSharedData(), m_uiContinuousId(a_objOther.m_uiContinuousId),
      m_uiConnectionId(a_objOther.m_uiConnectionId), m_ptrShared(a_objOther.m_ptrShared),
      m_ptrRequestParent(a_objOther.m_ptrRequestParent), m_bCompressionDisabled(a_objOther.m_bCompressionDisabled),
      m_ptrHome(a_objOther.m_ptrHome)
{
    countInstance();
}

CXmlMessage::~CXmlMessage()
{
    m_lInstanceCounter.fetchAndSubRelaxed(1);
    // A tree still shared elsewhere is released by its last holder, wherever that is.
    if (m_ptrHome && m_ptrRoot && (!t_pHome || m_ptrHome != t_pHome->ptrHome) && m_ptrRoot->ref.loadRelaxed() == 1)
        m_ptrHome->takeBack(m_ptrRoot);
}

void CXmlMessage::countInstance()
{
    const int iNow = m_lInstanceCounter.fetchAndAddRelaxed(1) + 1;
    int iMax = m_lMaxInstances.loadRelaxed();
    while (iMax < iNow && !m_lMaxInstances.testAndSetRelaxed(iMax, iNow, iMax)) {
    }
}

int CXmlMessage::getNumberOfInstances()
{
    return m_lInstanceCounter.loadRelaxed();
}

int CXmlMessage::getMaxNumberOfInstances()
{
    return m_lMaxInstances.loadRelaxed();
}

unsigned int CXmlMessage::getNextId()
{
    unsigned int uiLast = s_uiContinuousNumber.load(std::memory_order_relaxed);
    unsigned int uiNext;
    do {
        uiNext = uiLast + 1 == 0 ? 1 : uiLast + 1;
    } while (!s_uiContinuousNumber.compare_exchange_weak(uiLast, uiNext, std::memory_order_relaxed));
    return uiNext;
}

ptrCXmlMessage CXmlMessage::copyShared(bool a_bDeep) const
{
    ptrCXmlMessage ptrCopy(new CXmlMessage(*this));
    ptrCopy->m_ptrRoot = a_bDeep && m_ptrRoot ? m_ptrRoot->copy(true) : ptrCXmlElement();
    ptrCopy->m_ptrHome = homeOfThisThread();  // the copied tree is this thread's
    return ptrCopy;
}

CXmlElement& CXmlMessage::root()
{
    return ensureRoot(Tag::NoTagname);
}

void CXmlMessage::setMessageID(unsigned int a_uiId)
{
    root().setAttribute(s_baId, QString::number(a_uiId));
}

unsigned int CXmlMessage::setMessageID_byGenerator()
{
    setMessageID(m_uiContinuousId);
    return m_uiContinuousId;
}

unsigned int CXmlMessage::getMessageID(bool* a_pbOk) const
{
    bool bOk = false;
    unsigned int uiId = 0;
    if (m_ptrRoot) {
        bool bFound = false;
        const QString strId = m_ptrRoot->getAttribute(s_baId, &bFound);
        if (!bFound)
            bOk = true;
        else
            uiId = strId.toUInt(&bOk, 10);
        if (bFound && uiId == 0)
            bOk = false;
    }
    if (a_pbOk)
        *a_pbOk = bOk;
    return bOk ? uiId : 0;
}

CXmlMessage::eSERVICE_TYPES CXmlMessage::getServiceType() const
{
    if (!m_ptrRoot)
        return NONE;
    const CTagname& objName = m_ptrRoot->tagname();
    if (objName == Tag::Event)
        return BROADCAST;
    const bool bRequest = objName == Tag::Request;
    if (!bRequest && objName != Tag::Reply)
        return NONE;
    const QString strType = m_ptrRoot->getAttribute(s_baType);
    if (strType == QLatin1String("get"))
        return bRequest ? REQUEST_GET : REPLY_GET;
    if (strType == QLatin1String("set"))
        return bRequest ? REQUEST_SET : REPLY_SET;
    if (strType == QLatin1String("lag") && !bRequest)
        return REPLY_LAG;
    return NONE;
}

int CXmlMessage::setServiceType(eSERVICE_TYPES a_eType)
{
    static const char* const s_apszTypes[] = {nullptr, "get", "set", "get", "set", nullptr, "lag"};
    if (a_eType < REQUEST_GET || a_eType > REPLY_LAG)
        return RESULT_INVALID_ARG;
    CXmlElement& objRoot = root();
    if (a_eType == BROADCAST) {
        objRoot.setTagname(Tag::Event);
        objRoot.removeAllAttributes();
        return RESULT_OK;
    }
    objRoot.setTagname(a_eType <= REQUEST_SET ? Tag::Request : Tag::Reply);
    objRoot.setAttribute(s_baType, QString::fromLatin1(s_apszTypes[a_eType]));
    return RESULT_OK;
}

const char* CXmlMessage::servicetypeToString(eSERVICE_TYPES a_eType)
{
    static const char* const s_apszNames[] = {"NONE",      "REQUEST_GET", "REQUEST_SET", "REPLY_GET",
                                              "REPLY_SET", "BROADCAST",   "REPLY_LAG"};
    return a_eType >= NONE && a_eType <= REPLY_LAG ? s_apszNames[a_eType] : "UNKNOWN";
}

bool CXmlMessage::isRequest() const
{
    const eSERVICE_TYPES eType = getServiceType();
    return eType == REQUEST_GET || eType == REQUEST_SET;
}

bool CXmlMessage::isReply() const
{
    const eSERVICE_TYPES eType = getServiceType();
    return eType == REPLY_GET || eType == REPLY_SET;
}

bool CXmlMessage::setAvailableTime(unsigned int a_uiMicroseconds)
{
    if (a_uiMicroseconds > m_uiMaxAvailableTime)
        return false;
    root().setAttribute(s_baTime, QString::number(a_uiMicroseconds));
    return true;
}

unsigned int CXmlMessage::getAvailableTime() const
{
    if (!m_ptrRoot)
        return 0;
    bool bOk = false;
    const unsigned int uiTime = m_ptrRoot->getAttribute(s_baTime).toUInt(&bOk, 10);
    return bOk ? uiTime : 0;
}

void CXmlMessage::setTimeout(unsigned long long a_ullDeadline)
{
    QMutexLocker lock(&m_ptrShared->mutex);
    m_ptrShared->ullDeadline = a_ullDeadline;
}

unsigned long long CXmlMessage::getTimeout() const
{
    QMutexLocker lock(&m_ptrShared->mutex);
    return m_ptrShared->ullDeadline;
}

unsigned int CXmlMessage::getRemainingTime() const
{
    QMutexLocker lock(&m_ptrShared->mutex);
    const unsigned long long ullNow = Platform::nowMonotonicUs();
    if (m_ptrShared->ullDeadline <= ullNow)
        return 0;
    return unsigned(qMin<unsigned long long>(m_ptrShared->ullDeadline - ullNow, m_uiMaxAvailableTime));
}

void CXmlMessage::addRemainingTime(unsigned int a_uiMicroseconds)
{
    QMutexLocker lock(&m_ptrShared->mutex);
    if (m_ptrShared->ullDeadline > Platform::nowMonotonicUs())
        m_ptrShared->ullDeadline += a_uiMicroseconds;
}

unsigned long long CXmlMessage::getCreationTimestamp(eTIMESTAMP_TYPES a_eType) const
{
    QMutexLocker lock(&m_ptrShared->mutex);
    return a_eType == TIMESTAMP_MONOTONIC ? m_ptrShared->ullCreationMonotonic : m_ptrShared->ullCreationUtc;
}

void CXmlMessage::setCreationTimestamp(ptrCXmlMessage& a_ptrOther)
{
    if (!a_ptrOther)
        return;
    const unsigned long long ullUtc = a_ptrOther->getCreationTimestamp(TIMESTAMP_ABSOLUTE);
    const unsigned long long ullMonotonic = a_ptrOther->getCreationTimestamp(TIMESTAMP_MONOTONIC);
    QMutexLocker lock(&m_ptrShared->mutex);
    m_ptrShared->ullCreationUtc = ullUtc;
    m_ptrShared->ullCreationMonotonic = ullMonotonic;
}

void CXmlMessage::setOrigin(const QString& a_strOrigin)
{
    root().setAttribute(s_baOrigin, a_strOrigin);
}

QString CXmlMessage::getOrigin() const
{
    return m_ptrRoot ? m_ptrRoot->getAttribute(s_baOrigin) : QString();
}

void CXmlMessage::orderRequestTree()
{
    root().setAttribute(s_baRequestTree, QStringLiteral("1"));
}

int CXmlMessage::addFragment(CMsgFragment a_objFragment, int a_iIndex)
{
    return root().addChild(a_objFragment.getElementTree(), a_iIndex);
}

int CXmlMessage::removeFragment(CMsgFragment a_objFragment)
{
    if (!m_ptrRoot)
        return RESULT_NO_ROOT;
    return m_ptrRoot->removeChild(a_objFragment.getElementTree());
}

int CXmlMessage::getNumberOfFragments() const
{
    return m_ptrRoot ? m_ptrRoot->getNumberOfChildren() : 0;
}

CMsgFragment CXmlMessage::getFragment(unsigned int a_uiIndex) const
{
    return CMsgFragment(m_ptrRoot ? m_ptrRoot->getChildAt(a_uiIndex) : ptrCXmlElement());
}

QStringList CXmlMessage::getComponentTags() const
{
    QStringList lstTags;
    if (m_ptrRoot) {
        for (const ptrCXmlElement& ptrChild : m_ptrRoot->children())
            lstTags.append(ptrChild->tagname());
    }
    return lstTags;
}

void CXmlMessage::changeRequestToReply(unsigned int a_uiFaultId, unsigned long long a_ullTimestamp)
{
    const eSERVICE_TYPES eType = getServiceType();
    if (eType != REQUEST_GET && eType != REQUEST_SET)
        return;
    const eSERVICE_TYPES eReply = eSERVICE_TYPES(eType + 2);
    if (a_uiFaultId != 0 && a_ullTimestamp != 0) {
        for (const ptrCXmlElement& ptrChild : m_ptrRoot->children()) {
            // The failed request as far as it concerns this fragment, as it arrived.
            ptrCXmlElement ptrFailed = m_ptrRoot->copy(false);
            ptrFailed->addChild(ptrChild->copy(true), -1);
            CFaultTree objFault;
            objFault.setID(a_uiFaultId);
            objFault.setTimestamp(a_ullTimestamp);
            objFault.getElementTree()->addChild(ptrFailed, -1);
            CMsgFragment objFragment(ptrChild);
            objFragment.moveDataTreeToRequestTree();
            objFragment.setFaultTree(objFault);
        }
    }
    m_ptrRoot->removeAttribute(s_baTime);
    setServiceType(eReply);
}

ptrCXmlMessage CXmlMessage::generateTimeoutIncrementMsg(unsigned int a_uiIncrement, bool a_bKeepParentOpen)
{
    QMutexLocker lock(&m_ptrShared->mutex);
    const eSERVICE_TYPES eType = getServiceType();
    if ((eType != REQUEST_GET && eType != REQUEST_SET && eType != REPLY_LAG) || getRemainingTime() == 0 ||
        a_uiIncrement == 0 || a_uiIncrement > m_uiMaxAvailableTime)
        return ptrCXmlMessage();

    ptrCXmlMessage ptrLag = copyShared(false);
    ptrLag->setElementTree(ptrCXmlElement(new CXmlElement(Tag::Reply)));
    ptrLag->setServiceType(REPLY_LAG);
    ptrLag->setAvailableTime(a_uiIncrement);
    bool bOk = false;
    const unsigned int uiId = m_ptrRoot->getAttribute(s_baId).toUInt(&bOk, 10);
    ptrLag->setMessageID(bOk ? uiId : 0);

    m_ptrShared->bParentUpdated = false;
    ptrLag->m_ptrRequestParent = eType == REPLY_LAG && m_ptrRequestParent ? m_ptrRequestParent : m_ptrRoot->copy(false);
    if (!a_bKeepParentOpen)
        m_ptrShared->bParentUpdated = true;
    return ptrLag;
}

bool CXmlMessage::isParentUpdated() const
{
    QMutexLocker lock(&m_ptrShared->mutex);
    return m_ptrShared->bParentUpdated;
}

void CXmlMessage::updateRequestParent()
{
    QMutexLocker lock(&m_ptrShared->mutex);
    if (m_ptrShared->bParentUpdated || !m_ptrRequestParent)
        return;
    addRemainingTime(getAvailableTime());
    m_ptrShared->bParentUpdated = true;
}

QString CXmlMessage::headerLine(eMESSAGE_DIRECTION a_eDirection) const
{
    const eSERVICE_TYPES eType = getServiceType();
    const bool bRequest = eType == REQUEST_GET || eType == REQUEST_SET;
    bool bOk = false;
    const unsigned int uiId = m_ptrRoot ? m_ptrRoot->getAttribute(s_baId).toUInt(&bOk, 10) : 0;
    const QString strService = QString::fromLatin1(servicetypeToString(eType));
    const QString strId = QString::number(bOk ? uiId : 0);
    const QString strConn = QString::number(m_uiConnectionId);
    const QString strCont = QString::number(m_uiContinuousId);
    const QString strAvail = seconds(getAvailableTime());

    switch (a_eDirection) {
    case DIRECTION_RECEIVED:
        if (bRequest)
            return QStringLiteral(
                       "\nReceiving Msg; Service: %1; ID: %2/[%6]; Conn.Id: %3; Avail.Time: %4s; Rem.Time: %5")
                .arg(strService, strId, strConn, strAvail, seconds(getRemainingTime()), strCont);
        if (eType == REPLY_LAG)
            return QStringLiteral("\nReceiving Msg; Service: %1; ID: %2; Conn.Id: %3; Add.Time: %4s")
                .arg(strService, strId, strConn, strAvail);
        return QStringLiteral("\nReceiving Msg; Service: %1; ID: %2/[%4]; ConnectionId: %3")
            .arg(strService, strId, strConn, strCont);
    case DIRECTION_SENDING:
        if (bRequest)
            return QStringLiteral("\nSending Msg; Service: %1; ID: %2/[%5]; Conn.Id: %3; Avail.Time: %4s")
                .arg(strService, strId, strConn, strAvail, strCont);
        if (eType == BROADCAST)
            return QStringLiteral("\nSending Msg; Service: %1; ID: %2").arg(strService, strId);
        if (eType == REPLY_LAG)
            return QStringLiteral("\nSending Msg; Service: %1; ID: %2; Conn.Id: %3; Add.Time: %4s")
                .arg(strService, strId, strConn, strAvail);
        return QStringLiteral("\nSending Msg; Service: %1; ID: %2/[%4]; ConnectionId: %3")
            .arg(strService, strId, strConn, strCont);
    case DIRECTION_NO_HEADER: return QString();
    default:
        if (bRequest)
            return QStringLiteral("\nMsg; Service: %1; ID: %2/[%5]; Conn.Id: %3; Time: %4s")
                .arg(strService, strId, strConn, strAvail, strCont);
        if (eType == REPLY_LAG)
            return QStringLiteral("\nMsg; Service: %1; ID: %2; Conn.Id: %3; Add.Time: %4s")
                .arg(strService, strId, strConn, strAvail);
        return QStringLiteral("\nMsg; Service: %1; ID: %2/[%4]; Conn.Id: %3").arg(strService, strId, strConn, strCont);
    }
}

int CXmlMessage::messageToDbgString(QString& a_strOut, eMESSAGE_DIRECTION a_eDirection) const
{
    a_strOut += headerLine(a_eDirection);
    if (m_ptrRoot)
        a_strOut += m_ptrRoot->toDbgString(QString(), true, false, true, false);
    return RESULT_OK;
}

QString CXmlMessage::toDbgString(eMESSAGE_DIRECTION a_eDirection) const
{
    QString strOut;
    messageToDbgString(strOut, a_eDirection);
    return strOut;
}
}  // namespace XmlCommon

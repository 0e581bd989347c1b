#include "ConnectionGate_p.h"

#include <QtCore/QAbstractEventDispatcher>
#include <QtCore/QLibrary>

#include <cerrno>

namespace XmlCommunication
{
namespace
{
// glib's own types, as far as the wrapper needs them; resolved from the glib that Qt's loop uses,
// so that the library needs glib neither to build nor to run without it.
struct struGPollFd;
using typGPollFunc = int (*)(struGPollFd*, unsigned int, int);
using typGetThreadDefault = void* (*)();
using typGetPollFunc = typGPollFunc (*)(void*);
using typSetPollFunc = void (*)(void*, typGPollFunc);

struct struGlib
{
    typGetThreadDefault pfnThreadDefault = nullptr;
    typGetPollFunc pfnGetPoll = nullptr;
    typSetPollFunc pfnSetPoll = nullptr;
};

const struGlib& glib()
{
    static const struGlib s_objGlib = [] {
        struGlib objGlib;
        QLibrary objLibrary(QStringLiteral("glib-2.0"), 0);
        objGlib.pfnThreadDefault =
            reinterpret_cast<typGetThreadDefault>(objLibrary.resolve("g_main_context_get_thread_default"));
        objGlib.pfnGetPoll = reinterpret_cast<typGetPollFunc>(objLibrary.resolve("g_main_context_get_poll_func"));
        objGlib.pfnSetPoll = reinterpret_cast<typSetPollFunc>(objLibrary.resolve("g_main_context_set_poll_func"));
        return objGlib;
    }();
    return s_objGlib;
}

// The poll function has no context argument: each connection thread finds its own gate here.
thread_local CConnectionGate* t_pHeldGate = nullptr;
thread_local typGPollFunc t_pfnPoll = nullptr;
thread_local void* t_pContext = nullptr;
thread_local bool t_bInGate = false;

int gatedPoll(struGPollFd* a_pFds, unsigned int a_uiCount, int a_iTimeout)
{
    CConnectionGate* pGate = t_pHeldGate;
    pGate->openWhileWaiting();
    const int iResult = t_pfnPoll(a_pFds, a_uiCount, a_iTimeout);
    const int iErrno = errno;  // glib reads it after a failed poll
    pGate->takeBack();
    errno = iErrno;
    return iResult;
}

bool usesGlibLoop()
{
    const QAbstractEventDispatcher* pDispatcher = QAbstractEventDispatcher::instance();
    return pDispatcher && pDispatcher->inherits("QEventDispatcherGlib");
}
}  // namespace

void CConnectionGate::hold(std::function<void()> a_fnAfterVisit)
{
    m_objMutex.lock();
    m_fnAfterVisit = std::move(a_fnAfterVisit);
    const struGlib& objGlib = glib();
    if (!objGlib.pfnThreadDefault || !objGlib.pfnGetPoll || !objGlib.pfnSetPoll || !usesGlibLoop())
        return;
    void* pContext = objGlib.pfnThreadDefault();
    if (!pContext)
        return;
    t_pHeldGate = this;
    t_pfnPoll = objGlib.pfnGetPoll(pContext);
    t_pContext = pContext;
    objGlib.pfnSetPoll(pContext, &gatedPoll);
    m_bOpens = true;
}

void CConnectionGate::release()
{
    if (m_bOpens) {
        glib().pfnSetPoll(t_pContext, t_pfnPoll);
        t_pHeldGate = nullptr;
        t_pContext = nullptr;
        m_bOpens = false;
    }
    m_fnAfterVisit = nullptr;
    m_objMutex.unlock();
}

bool CConnectionGate::tryEnter()
{
    if (t_bInGate || t_pHeldGate == this || !m_objMutex.try_lock())
        return false;
    if (!m_bOpens) {
        m_objMutex.unlock();
        return false;
    }
    t_bInGate = true;
    m_bVisited = true;
    return true;
}

void CConnectionGate::leave()
{
    t_bInGate = false;
    m_objMutex.unlock();
}

void CConnectionGate::takeBack()
{
    m_objMutex.lock();
    if (m_bVisited) {
        m_bVisited = false;
        m_fnAfterVisit();
    }
}
}  // namespace XmlCommunication

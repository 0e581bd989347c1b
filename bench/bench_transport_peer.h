#pragma once

#include <OrvexXmlInterface/xmlcommon/CXmlMessage.h>

#include <QtCore/QByteArray>
#include <QtCore/QStringList>

// The second process of the transport benchmarks: bench_transport starts a copy of itself with
// "--peer ROLE ARGS..." and talks to it over loopback. Every role prints one line when it is
// ready (its port, or "ready"), and the receiving roles print "done" after each batch.
int runTransportPeer(const QStringList& a_lstArguments);

// The 1 kB request of the benchmarks (realistic fragments) and its reply, as messages and as the
// bytes on the wire, so that every transport carries the same text.
struct struBenchPayload
{
    XmlCommon::CMsgFragment objFragment;
    QByteArray baRequest;
    QByteArray baReply;
    QByteArray baEvent;
};
const struBenchPayload& benchPayload();
XmlCommon::ptrCXmlMessage makeBenchRequest(unsigned int a_uiConnectionId);
XmlCommon::ptrCXmlMessage makeBenchEvent(unsigned int a_uiConnectionId);

// Raw socket helpers shared by both processes (blocking, TCP_NODELAY).
bool sendAll(int a_iSocket, const char* a_pData, qint64 a_llSize);
bool receiveExactly(int a_iSocket, char* a_pData, qint64 a_llSize);
// A socket connected to the loopback port, or -1.
int connectLoopback(int a_iPort);

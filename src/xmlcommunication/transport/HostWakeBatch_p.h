#pragma once

namespace XmlCommunication
{
// While a batch is open on a connection's thread, the hosts it hands messages to are woken once,
// when the batch closes, for all those messages: a host that keeps up with a stream would
// otherwise be woken for nearly every message, and the wake-up costs the connection's thread
// more than parsing the message. Batches nest; the outermost one wakes.
class CHostWakeBatch
{
public:
    CHostWakeBatch();
    ~CHostWakeBatch();
    CHostWakeBatch(const CHostWakeBatch&) = delete;
    CHostWakeBatch& operator=(const CHostWakeBatch&) = delete;
};
}  // namespace XmlCommunication

// The storage operations that do not follow the one-value pattern: repeated records, lists,
// interface choices, the two-argument data-rate setters and the compressed spectrum data.
#include <OrvexXmlInterface/converters/storage/StorageConverters.h>
#include <OrvexXmlInterface/xmlcommon/ResultCodes.h>
#include <OrvexXmlInterface/xmlcommon/XmlTreeTools.h>

#include "../ConverterSupport_p.h"

#include <QtCore/QtEndian>

using namespace XmlCommon;
using ConverterSupport::childWith;
namespace Tools = XmlCommon::XmlConverterTools;

namespace StorageConverter
{
namespace
{
const QByteArray s_baReserved("reserved");
const QByteArray s_baType("type");
const QByteArray s_baClass("class");
const QByteArray s_baCompression("compression");
const quint32 s_ulMaxSpectrumBytes = 64u * 1024u * 1024u;

// Replaces all elements of a name by one per text, in order.
int writeTexts(const ptrCXmlElement& a_ptrData, const CTagname& a_objTag, const QStringList& a_lstTexts)
{
    XmlTreeTools::removeTags(a_ptrData, a_objTag);
    for (const QString& strText : a_lstTexts)
        Tools::createElement(a_ptrData, a_objTag)->setValue(strText);
    return RESULT_OK;
}

int readTexts(const ptrCXmlElement& a_ptrData, const CTagname& a_objTag, QStringList& a_lstTexts)
{
    a_lstTexts.clear();
    for (const ptrCXmlElement& ptrElement : XmlTreeTools::findChildren(a_ptrData, a_objTag))
        a_lstTexts.append(ptrElement->getValue());
    return RESULT_OK;
}

// Reads every child of a name as a record; a malformed one fails the whole list.
template <typename T, typename F>
int readRecords(const ptrCXmlElement& a_ptrData, const CTagname& a_objTag, QList<T>& a_lstRecords, F a_fnRead)
{
    QList<T> lstRead;
    for (const ptrCXmlElement& ptrElement : XmlTreeTools::findChildren(a_ptrData, a_objTag)) {
        T objRecord;
        if (const int iResult = a_fnRead(ptrElement, objRecord))
            return iResult;
        lstRead.append(objRecord);
    }
    a_lstRecords = lstRead;
    return RESULT_OK;
}

int setInterface(const ptrCXmlElement& a_ptrData, eRECORDING_INTERFACE a_eType, const QString& a_strValue)
{
    XmlTreeTools::removeTags(a_ptrData, Tag::Interface);
    const ptrCXmlElement ptrInterface = Tools::createElement(a_ptrData, Tag::Interface);
    ptrInterface->setAttribute(s_baType, *G_objRecordingInterfaceTexts.text(a_eType));
    ptrInterface->setValue(a_strValue);
    return RESULT_OK;
}

int getInterface(const ptrCXmlElement& a_ptrData, eRECORDING_INTERFACE& a_eType, QString& a_strValue)
{
    const ptrCXmlElement ptrInterface = XmlTreeTools::findTagInTree(a_ptrData, Tag::Interface);
    if (!ptrInterface)
        return RESULT_MISSING;
    eRECORDING_INTERFACE eType = RECORDING_INTERFACE_LAN;
    if (!G_objRecordingInterfaceTexts.value(ptrInterface->getAttribute(s_baType), eType))
        return RESULT_MALFORMED;
    a_eType = eType;
    a_strValue = ptrInterface->getValue();
    return RESULT_OK;
}

int setRatedDataRate(const ptrCXmlElement& a_ptrData, const QString& a_strRate, const QString& a_strReserved)
{
    return Tools::setText(a_ptrData, Tag::DataRate, a_strRate, nullptr, {s_baReserved, a_strReserved});
}
}  // namespace

int CStartRecording::setDataRate(const QString& a_strRate, const QString& a_strReserved)
{
    return write(
        [&](const ptrCXmlElement& a_ptrData) { return setRatedDataRate(a_ptrData, a_strRate, a_strReserved); });
}

int CStartRecording10G::setDataRate(const QString& a_strRate, const QString& a_strReserved)
{
    return write(
        [&](const ptrCXmlElement& a_ptrData) { return setRatedDataRate(a_ptrData, a_strRate, a_strReserved); });
}

int CStartRecordingDigIQ40::setDataRate(const QString& a_strRate, const QString& a_strReserved)
{
    return write(
        [&](const ptrCXmlElement& a_ptrData) { return setRatedDataRate(a_ptrData, a_strRate, a_strReserved); });
}

int CStartRecordingFPDP::setDataRate(const QString& a_strRate, const QString& a_strReserved)
{
    return write(
        [&](const ptrCXmlElement& a_ptrData) { return setRatedDataRate(a_ptrData, a_strRate, a_strReserved); });
}

int CStorageBookmarkList::AppendBookmark(const struBOOKMARK& a_objBookmark)
{
    return write([&](const ptrCXmlElement& a_ptrData) {
        const ptrCXmlElement ptrBookmark = Tools::createElement(a_ptrData, Tag::Bookmark);
        if (const int iResult =
                Tools::setULongLong(ptrBookmark, Tag::Offset, a_objBookmark.ullOffset, QStringLiteral("us")))
            return iResult;
        return Tools::setText(ptrBookmark, Tag::Comment, a_objBookmark.strComment);
    });
}

int CStorageBookmarkList::getList(QList<struBOOKMARK>& a_lstBookmarks) const
{
    return read([&](const ptrCXmlElement& a_ptrData) {
        return readRecords(a_ptrData, Tag::Bookmark, a_lstBookmarks,
                           [](const ptrCXmlElement& a_ptrElement, struBOOKMARK& a_objBookmark) {
                               if (const int iResult =
                                       Tools::getULongLong(a_ptrElement, Tag::Offset, a_objBookmark.ullOffset))
                                   return iResult;
                               const int iResult = Tools::getText(a_ptrElement, Tag::Comment, a_objBookmark.strComment);
                               return iResult == RESULT_MISSING ? int(RESULT_OK) : iResult;
                           });
    });
}

int CStorageConfiguration::setDataRateClassInfo(const struDATA_RATE_CLASS& a_objClass)
{
    return write([&](const ptrCXmlElement& a_ptrData) {
        const ptrCXmlElement ptrClasses =
            XmlTreeTools::findTagInTree(a_ptrData, Tag::DataRateClasses, G_objCompEqual, false, true);
        const ptrCXmlElement ptrClass = childWith(ptrClasses, Tag::DataRate, s_baClass, a_objClass.strClass, true);
        int iResult = Tools::setULongLong(ptrClass, Tag::Throughput, a_objClass.ullThroughput, QStringLiteral("bps"));
        if (iResult == RESULT_OK)
            iResult = Tools::setULong(ptrClass, Tag::MaxNumber, a_objClass.uiMaxNumber, QString());
        if (iResult == RESULT_OK)
            iResult = Tools::setULong(ptrClass, Tag::Samplerate, a_objClass.uiSamplerate, QString());
        if (iResult == RESULT_OK)
            iResult = Tools::setEnum(ptrClass, Tag::Mode, eDATA_RATE_MODE(a_objClass.iMode), G_objDataRateModeTexts);
        return iResult;
    });
}

namespace
{
int readDataRateClass(const ptrCXmlElement& a_ptrElement, struDATA_RATE_CLASS& a_objClass)
{
    eDATA_RATE_MODE eMode = DATA_RATE_MODE_LONG;
    a_objClass.strClass = a_ptrElement->getAttribute(s_baClass);
    int iResult = Tools::getULongLong(a_ptrElement, Tag::Throughput, a_objClass.ullThroughput);
    if (iResult == RESULT_OK)
        iResult = Tools::getULong(a_ptrElement, Tag::MaxNumber, a_objClass.uiMaxNumber);
    if (iResult == RESULT_OK)
        iResult = Tools::getULong(a_ptrElement, Tag::Samplerate, a_objClass.uiSamplerate);
    if (iResult == RESULT_OK)
        iResult = Tools::getEnum(a_ptrElement, Tag::Mode, eMode, G_objDataRateModeTexts);
    a_objClass.iMode = eMode;
    return iResult;
}
}  // namespace

int CStorageConfiguration::getDataRateClassInfo(const QString& a_strClass, struDATA_RATE_CLASS& a_objClass) const
{
    QList<struDATA_RATE_CLASS> lstClasses;
    if (const int iResult = getDataRateClassesInfo(lstClasses))
        return iResult;
    for (const struDATA_RATE_CLASS& objClass : qAsConst(lstClasses)) {
        if (objClass.strClass == a_strClass) {
            a_objClass = objClass;
            return RESULT_OK;
        }
    }
    return RESULT_MISSING;
}

int CStorageConfiguration::setDataRateClassesInfo(const QList<struDATA_RATE_CLASS>& a_lstClasses)
{
    const int iCleared = write([&](const ptrCXmlElement& a_ptrData) {
        XmlTreeTools::removeTags(a_ptrData, Tag::DataRateClasses);
        return int(RESULT_OK);
    });
    if (iCleared != RESULT_OK)
        return iCleared;
    for (const struDATA_RATE_CLASS& objClass : a_lstClasses) {
        if (const int iResult = setDataRateClassInfo(objClass))
            return iResult;
    }
    return RESULT_OK;
}

int CStorageConfiguration::getDataRateClassesInfo(QList<struDATA_RATE_CLASS>& a_lstClasses) const
{
    return read([&](const ptrCXmlElement& a_ptrData) {
        const ptrCXmlElement ptrClasses = XmlTreeTools::findTagInTree(a_ptrData, Tag::DataRateClasses);
        if (!ptrClasses)
            return int(RESULT_MISSING);
        return readRecords(ptrClasses, Tag::DataRate, a_lstClasses, readDataRateClass);
    });
}

int CStorageCopyRecord::setSections(const QList<struSECTION>& a_lstSections)
{
    return write([&](const ptrCXmlElement& a_ptrData) {
        XmlTreeTools::removeTags(a_ptrData, Tag::Sections);
        const ptrCXmlElement ptrSections = Tools::createElement(a_ptrData, Tag::Sections);
        for (const struSECTION& objSection : a_lstSections) {
            const ptrCXmlElement ptrSection = Tools::createElement(ptrSections, Tag::Section);
            int iResult =
                Tools::setULongLong(ptrSection, Tag::StartOffset, objSection.ullStartOffset, QStringLiteral("us"));
            if (iResult == RESULT_OK)
                iResult =
                    Tools::setULongLong(ptrSection, Tag::StopOffset, objSection.ullStopOffset, QStringLiteral("us"));
            if (iResult != RESULT_OK)
                return iResult;
        }
        return int(RESULT_OK);
    });
}

int CStorageCopyRecord::getSections(QList<struSECTION>& a_lstSections) const
{
    return read([&](const ptrCXmlElement& a_ptrData) {
        const ptrCXmlElement ptrSections = XmlTreeTools::findTagInTree(a_ptrData, Tag::Sections);
        if (!ptrSections)
            return int(RESULT_MISSING);
        return readRecords(
            ptrSections, Tag::Section, a_lstSections,
            [](const ptrCXmlElement& a_ptrElement, struSECTION& a_objSection) {
                const int iResult = Tools::getULongLong(a_ptrElement, Tag::StartOffset, a_objSection.ullStartOffset);
                return iResult ? iResult
                               : Tools::getULongLong(a_ptrElement, Tag::StopOffset, a_objSection.ullStopOffset);
            });
    });
}

int CStorageFinishedBite::AppendFault(const CFaultTree& a_objFault)
{
    return write([&](const ptrCXmlElement& a_ptrData) {
        if (a_objFault.isNull())
            return int(RESULT_INVALID_ARG);
        // A copy, like every other append of the family: later changes to the caller's fault stay
        // out of the list.
        return a_ptrData->addChild(a_objFault.getElementTree()->copy(true), -1);
    });
}

int CStorageFinishedBite::getFaultList(QList<CFaultTree>& a_lstFaults) const
{
    return read([&](const ptrCXmlElement& a_ptrData) {
        a_lstFaults.clear();
        for (const ptrCXmlElement& ptrFault : XmlTreeTools::findChildren(a_ptrData, Tag::Fault))
            a_lstFaults.append(CFaultTree(ptrFault));
        return int(RESULT_OK);
    });
}

int CStorageHistory::AppendEntry(const struHISTORY_ENTRY& a_objEntry)
{
    return write([&](const ptrCXmlElement& a_ptrData) {
        const ptrCXmlElement ptrEntry = Tools::createElement(a_ptrData, Tag::HistoryEntry);
        if (const int iResult = Tools::setTime(ptrEntry, Tag::timestamp, a_objEntry.ullTimestamp))
            return iResult;
        return Tools::setText(ptrEntry, Tag::Comment, a_objEntry.strComment);
    });
}

int CStorageHistory::getList(QList<struHISTORY_ENTRY>& a_lstEntries) const
{
    return read([&](const ptrCXmlElement& a_ptrData) {
        return readRecords(a_ptrData, Tag::HistoryEntry, a_lstEntries,
                           [](const ptrCXmlElement& a_ptrElement, struHISTORY_ENTRY& a_objEntry) {
                               if (const int iResult =
                                       Tools::getTime(a_ptrElement, Tag::timestamp, a_objEntry.ullTimestamp))
                                   return iResult;
                               const int iResult = Tools::getText(a_ptrElement, Tag::Comment, a_objEntry.strComment);
                               return iResult == RESULT_MISSING ? int(RESULT_OK) : iResult;
                           });
    });
}

int CStorageRecordList::AppendRecord(const CStorageRecord& a_objRecord)
{
    const ptrCXmlElement ptrRecord = a_objRecord.getFragment().getDataTree().getElementTree();
    if (!ptrRecord || !a_objRecord.isCompatible())
        return RESULT_INVALID_ARG;
    return write([&](const ptrCXmlElement& a_ptrData) { return a_ptrData->addChild(ptrRecord->copy(true), -1); });
}

int CStorageRecordList::getList(QList<CStorageRecord>& a_lstRecords) const
{
    return read([&](const ptrCXmlElement& a_ptrData) {
        a_lstRecords.clear();
        for (const ptrCXmlElement& ptrRecord : XmlTreeTools::findChildren(a_ptrData, Tag::Record)) {
            CStorageRecord objRecord;
            objRecord.setDataTree(CDataTree(ptrRecord));
            a_lstRecords.append(objRecord);
        }
        return int(RESULT_OK);
    });
}

int CStorageRecordSpectrum::setSpectrumData(const QByteArray& a_baSpectrum)
{
    // The one bulk payload of the family travels compressed (zlib through qCompress, then
    // base64) and is marked so that nothing compresses it again.
    return write([&](const ptrCXmlElement& a_ptrData) {
        const int iResult =
            Tools::setText(a_ptrData, Tag::Spectrum, QString::fromLatin1(qCompress(a_baSpectrum).toBase64()), nullptr,
                           {s_baCompression, QStringLiteral("zlib")});
        return iResult ? iResult : Tools::disableCompression(a_ptrData, Tag::Spectrum);
    });
}

int CStorageRecordSpectrum::getSpectrumData(QByteArray& a_baSpectrum) const
{
    return read([&](const ptrCXmlElement& a_ptrData) {
        QString strText;
        if (const int iResult = Tools::getText(a_ptrData, Tag::Spectrum, strText))
            return iResult;
        const QByteArray baPacked = QByteArray::fromBase64(strText.toLatin1());
        // The packed form starts with the unpacked size; a peer cannot make us reserve more than this.
        const quint32 ulDeclared = baPacked.size() < 4 ? 0 : qFromBigEndian<quint32>(baPacked.constData());
        if (baPacked.size() < 4 || ulDeclared > s_ulMaxSpectrumBytes)
            return int(RESULT_MALFORMED);
        const QByteArray baSpectrum = qUncompress(baPacked);
        if (quint32(baSpectrum.size()) != ulDeclared)
            return int(RESULT_MALFORMED);
        a_baSpectrum = baSpectrum;
        return int(RESULT_OK);
    });
}

// Requesting and releasing bandwidth share one layout: one "DataRate" per rate, and one
// "Interface" whose type names the link (an earlier interface is replaced).
#define OXI_STORAGE_BANDWIDTH_OPERATIONS(a_Class)                                                                      \
    int a_Class::addDatarate(const QString& a_strRate)                                                                 \
    {                                                                                                                  \
        return write([&](const ptrCXmlElement& a_ptrData) {                                                            \
            Tools::createElement(a_ptrData, Tag::DataRate)->setValue(a_strRate);                                       \
            return int(RESULT_OK);                                                                                     \
        });                                                                                                            \
    }                                                                                                                  \
    int a_Class::getDatarates(QStringList& a_lstRates) const                                                           \
    {                                                                                                                  \
        return read([&](const ptrCXmlElement& a_ptrData) { return readTexts(a_ptrData, Tag::DataRate, a_lstRates); }); \
    }                                                                                                                  \
    int a_Class::setIP(const QString& a_strAddress)                                                                    \
    {                                                                                                                  \
        return write([&](const ptrCXmlElement& a_ptrData) {                                                            \
            return setInterface(a_ptrData, RECORDING_INTERFACE_LAN, a_strAddress);                                     \
        });                                                                                                            \
    }                                                                                                                  \
    int a_Class::set10G_Channel(unsigned int a_uiChannel)                                                              \
    {                                                                                                                  \
        return write([&](const ptrCXmlElement& a_ptrData) {                                                            \
            return setInterface(a_ptrData, RECORDING_INTERFACE_10G, QString::number(a_uiChannel));                     \
        });                                                                                                            \
    }                                                                                                                  \
    int a_Class::setDigIQ40_Channel(unsigned int a_uiChannel)                                                          \
    {                                                                                                                  \
        return write([&](const ptrCXmlElement& a_ptrData) {                                                            \
            return setInterface(a_ptrData, RECORDING_INTERFACE_DIGIQ40, QString::number(a_uiChannel));                 \
        });                                                                                                            \
    }                                                                                                                  \
    int a_Class::getInterface(eRECORDING_INTERFACE& a_eType, QString& a_strValue) const                                \
    {                                                                                                                  \
        return read([&](const ptrCXmlElement& a_ptrData) {                                                             \
            return StorageConverter::getInterface(a_ptrData, a_eType, a_strValue);                                     \
        });                                                                                                            \
    }

OXI_STORAGE_BANDWIDTH_OPERATIONS(CStorageRequestBandwidth)
OXI_STORAGE_BANDWIDTH_OPERATIONS(CStorageReleaseBandwidth)

int CStorageSpareBandwidth::setDatarates(eRECORDING_INTERFACE a_eInterface,
                                         const QList<unsigned long long>& a_lstThroughputs)
{
    // One "Interface" per link type, each with one "Throughput" (bps) per spare data rate.
    return write([&](const ptrCXmlElement& a_ptrData) {
        const QString* pstrType = G_objRecordingInterfaceTexts.text(a_eInterface);
        if (!pstrType)
            return int(RESULT_INVALID_ARG);
        const ptrCXmlElement ptrInterface = childWith(a_ptrData, Tag::Interface, s_baType, *pstrType, true);
        ptrInterface->removeAllChildren();
        for (unsigned long long ullThroughput : a_lstThroughputs)
            Tools::setULongLong(ptrInterface, Tag::Throughput, ullThroughput, QStringLiteral("bps"), {}, true);
        return int(RESULT_OK);
    });
}

int CStorageSpareBandwidth::getDatarates(eRECORDING_INTERFACE a_eInterface,
                                         QList<unsigned long long>& a_lstThroughputs) const
{
    return read([&](const ptrCXmlElement& a_ptrData) {
        const QString* pstrType = G_objRecordingInterfaceTexts.text(a_eInterface);
        if (!pstrType)
            return int(RESULT_INVALID_ARG);
        const ptrCXmlElement ptrInterface = childWith(a_ptrData, Tag::Interface, s_baType, *pstrType, false);
        if (!ptrInterface)
            return int(RESULT_MISSING);
        QList<unsigned long long> lstRead;
        for (const ptrCXmlElement& ptrRate : XmlTreeTools::findChildren(ptrInterface, Tag::Throughput)) {
            bool bOk = false;
            lstRead.append(ptrRate->getValue().toULongLong(&bOk, 10));
            if (!bOk)
                return int(RESULT_MALFORMED);
        }
        a_lstThroughputs = lstRead;
        return int(RESULT_OK);
    });
}

namespace
{
// "Resources" holds one "Resource" per part of the unit: its type as attribute, "1"/"0" as text.
int setResourceOf(const ptrCXmlElement& a_ptrData, const QString& a_strType, bool a_bAvailable)
{
    const ptrCXmlElement ptrResources =
        XmlTreeTools::findTagInTree(a_ptrData, Tag::Resources, G_objCompEqual, false, true);
    childWith(ptrResources, Tag::Resource, s_baType, a_strType, true)->setValue(Tools::valueToString(a_bAvailable));
    return RESULT_OK;
}

int getResources(const ptrCXmlElement& a_ptrData, QMap<QString, bool>& a_mapAvailable)
{
    const ptrCXmlElement ptrResources = XmlTreeTools::findTagInTree(a_ptrData, Tag::Resources);
    if (!ptrResources)
        return RESULT_MISSING;
    QMap<QString, bool> mapRead;
    for (const ptrCXmlElement& ptrResource : XmlTreeTools::findChildren(ptrResources, Tag::Resource)) {
        const QString& strValue = ptrResource->getValue();
        if (strValue != QLatin1String("1") && strValue != QLatin1String("0"))
            return RESULT_MALFORMED;
        mapRead.insert(ptrResource->getAttribute(s_baType), strValue == QLatin1String("1"));
    }
    a_mapAvailable = mapRead;
    return RESULT_OK;
}

int getResourceOf(const ptrCXmlElement& a_ptrData, const QString& a_strType, bool& a_bAvailable)
{
    QMap<QString, bool> mapAvailable;
    if (const int iResult = getResources(a_ptrData, mapAvailable))
        return iResult;
    if (!mapAvailable.contains(a_strType))
        return RESULT_MISSING;
    a_bAvailable = mapAvailable.value(a_strType);
    return RESULT_OK;
}
}  // namespace

#define OXI_STORAGE_RESOURCE(a_Name, a_pszType)                                                                        \
    int CStorageStatus::setResource##a_Name(bool a_bAvailable)                                                         \
    {                                                                                                                  \
        return write([&](const ptrCXmlElement& a_ptrData) {                                                            \
            return setResourceOf(a_ptrData, QStringLiteral(a_pszType), a_bAvailable);                                  \
        });                                                                                                            \
    }                                                                                                                  \
    int CStorageStatus::getResource##a_Name(bool& a_bAvailable) const                                                  \
    {                                                                                                                  \
        return read([&](const ptrCXmlElement& a_ptrData) {                                                             \
            return getResourceOf(a_ptrData, QStringLiteral(a_pszType), a_bAvailable);                                  \
        });                                                                                                            \
    }

OXI_STORAGE_RESOURCE(10G, "xg")
OXI_STORAGE_RESOURCE(DigIQ40, "digIQ40")
OXI_STORAGE_RESOURCE(FPDP, "fpdp")
OXI_STORAGE_RESOURCE(LAN, "lan")
OXI_STORAGE_RESOURCE(Storage, "storage")

int CStorageStatus::getResources(QMap<QString, bool>& a_mapAvailable) const
{
    return read(
        [&](const ptrCXmlElement& a_ptrData) { return StorageConverter::getResources(a_ptrData, a_mapAvailable); });
}

#define OXI_STORAGE_SPARE_RATES(a_Name, a_eInterface)                                                                  \
    int CStorageSpareBandwidth::setDatarates##a_Name(const QList<unsigned long long>& a_lstThroughputs)                \
    {                                                                                                                  \
        return setDatarates(a_eInterface, a_lstThroughputs);                                                           \
    }                                                                                                                  \
    int CStorageSpareBandwidth::getDatarates##a_Name(QList<unsigned long long>& a_lstThroughputs) const                \
    {                                                                                                                  \
        return getDatarates(a_eInterface, a_lstThroughputs);                                                           \
    }

OXI_STORAGE_SPARE_RATES(10G, RECORDING_INTERFACE_10G)
OXI_STORAGE_SPARE_RATES(DigIQ40, RECORDING_INTERFACE_DIGIQ40)
OXI_STORAGE_SPARE_RATES(LAN, RECORDING_INTERFACE_LAN)

int CStorageStatus::setAvailableDataRateClasses(const QStringList& a_lstClasses)
{
    return write([&](const ptrCXmlElement& a_ptrData) {
        return writeTexts(XmlTreeTools::findTagInTree(a_ptrData, Tag::AvailableDataRates, G_objCompEqual, false, true),
                          Tag::DataRate, a_lstClasses);
    });
}

int CStorageStatus::getAvailableDataRateClasses(QStringList& a_lstClasses) const
{
    return read([&](const ptrCXmlElement& a_ptrData) {
        const ptrCXmlElement ptrList = XmlTreeTools::findTagInTree(a_ptrData, Tag::AvailableDataRates);
        return ptrList ? readTexts(ptrList, Tag::DataRate, a_lstClasses) : int(RESULT_MISSING);
    });
}

int CStorageStatus::setOccupiedDataRateClasses(const QStringList& a_lstClasses)
{
    return write([&](const ptrCXmlElement& a_ptrData) {
        return writeTexts(XmlTreeTools::findTagInTree(a_ptrData, Tag::OccupiedDataRates, G_objCompEqual, false, true),
                          Tag::DataRate, a_lstClasses);
    });
}

int CStorageStatus::getOccupiedDataRateClasses(QStringList& a_lstClasses) const
{
    return read([&](const ptrCXmlElement& a_ptrData) {
        const ptrCXmlElement ptrList = XmlTreeTools::findTagInTree(a_ptrData, Tag::OccupiedDataRates);
        return ptrList ? readTexts(ptrList, Tag::DataRate, a_lstClasses) : int(RESULT_MISSING);
    });
}
}  // namespace StorageConverter

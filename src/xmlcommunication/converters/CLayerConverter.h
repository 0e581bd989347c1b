#pragma once

#include <OrvexXmlInterface/xmlcommon/CConvBaseFragment.h>
#include <OrvexXmlInterface/xmlcommon/Tagnames.h>

namespace XmlCommunication
{
// The base of the communication layer's own converters: component "XmlCommunicationDevice" and
// the data name given as template argument.
template <const XmlCommon::CTagname& t_objDataName> class CLayerConverter : public XmlCommon::CConvBaseFragment
{
public:
    using CConvBaseFragment::CConvBaseFragment;

protected:
    bool checkCompatibility(XmlCommon::CDataTree& a_objDataTree) const override
    {
        return CConvBaseFragment::checkCompatibility(XmlCommon::Tag::XmlCommunicationDevice, t_objDataName,
                                                     a_objDataTree);
    }
    void setCompatibility(XmlCommon::CDataTree& a_objDataTree) override
    {
        CConvBaseFragment::setCompatibility(XmlCommon::Tag::XmlCommunicationDevice, t_objDataName, a_objDataTree);
    }

    // The data element's own text, for the messages that carry one value there.
    int getOwnText(QString& a_strText) const
    {
        return read([&](const XmlCommon::ptrCXmlElement& a_ptrData) {
            a_strText = a_ptrData->getValue();
            return 0;
        });
    }
    int setOwnText(const QString& a_strText)
    {
        return write([&](const XmlCommon::ptrCXmlElement& a_ptrData) { return a_ptrData->setValue(a_strText); });
    }
    // "1" or "0"; anything else is malformed.
    int getOwnBool(bool& a_bValue) const
    {
        QString strText;
        if (const int iResult = getOwnText(strText))
            return iResult;
        if (strText != QLatin1String("1") && strText != QLatin1String("0"))
            return XmlCommon::RESULT_MALFORMED;
        a_bValue = strText == QLatin1String("1");
        return 0;
    }
    int setOwnBool(bool a_bValue) { return setOwnText(a_bValue ? QStringLiteral("1") : QStringLiteral("0")); }
};
}  // namespace XmlCommunication

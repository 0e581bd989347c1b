#pragma once

#include <OrvexXmlInterface/OxiExport.h>
#include <OrvexXmlInterface/xmlcommon/CXmlMessage.h>

#include <QtCore/QHash>
#include <QtCore/QList>
#include <QtCore/QMap>
#include <QtCore/QSharedPointer>

namespace XmlCommon
{
// A test that decides from a fragment's element tree whether a tree rule applies to it.
class OXI_EXPORT IfFragmentTreeTest
{
public:
    virtual ~IfFragmentTreeTest();
    virtual void setTree(ptrCXmlElement a_ptrTree) = 0;
    virtual bool isAccepted() const = 0;
};

// A lookup table that a host configures with a value per component and service type, and
// queries per fragment of a message.
class OXI_EXPORT CFragmentChecker
{
public:
    using typValues = QMap<CXmlMessage::eSERVICE_TYPES, unsigned int>;

    explicit CFragmentChecker(unsigned int a_uiDefaultValue);

    // False when the component has a rule already or the map is empty.
    bool addComponent(const QString& a_strName, typValues a_mapValues);
    // Rules tried in the order added, after the component rules, for fragments of that component.
    bool addTreeRule(const QString& a_strName, QSharedPointer<IfFragmentTreeTest> a_ptrTest, typValues a_mapValues);
    bool isConfigured() const;
    unsigned int checkFragment(ptrCXmlMessage a_ptrMessage, unsigned int a_uiFragmentIndex) const;

private:
    struct struTreeRule
    {
        QSharedPointer<IfFragmentTreeTest> ptrTest;
        typValues mapValues;
    };
    struct struComponentRule
    {
        QString strName;
        typValues mapValues;
    };

    QHash<QString, QList<struTreeRule>> m_hashTreeRules;
    QList<struComponentRule> m_lstComponentRules;
    unsigned int m_uiDefaultValue;
};
}  // namespace XmlCommon

#include "CFragmentChecker.h"

namespace XmlCommon
{
IfFragmentTreeTest::~IfFragmentTreeTest() = default;

CFragmentChecker::CFragmentChecker(unsigned int a_uiDefaultValue) : m_uiDefaultValue(a_uiDefaultValue) {}

bool CFragmentChecker::addComponent(const QString& a_strName, typValues a_mapValues)
{
    if (a_mapValues.isEmpty())
        return false;
    for (const struComponentRule& objRule : qAsConst(m_lstComponentRules)) {
        if (objRule.strName == a_strName)
            return false;
    }
    m_lstComponentRules.append({a_strName, a_mapValues});
    return true;
}

bool CFragmentChecker::addTreeRule(const QString& a_strName, QSharedPointer<IfFragmentTreeTest> a_ptrTest,
                                   typValues a_mapValues)
{
    if (!a_ptrTest)
        return false;
    m_hashTreeRules[a_strName].append({a_ptrTest, a_mapValues});
    return true;
}

bool CFragmentChecker::isConfigured() const
{
    return !m_lstComponentRules.isEmpty() || !m_hashTreeRules.isEmpty();
}

unsigned int CFragmentChecker::checkFragment(ptrCXmlMessage a_ptrMessage, unsigned int a_uiFragmentIndex) const
{
    if (!a_ptrMessage)
        return m_uiDefaultValue;
    const CMsgFragment objFragment = a_ptrMessage->getFragment(a_uiFragmentIndex);
    if (objFragment.isNull())
        return m_uiDefaultValue;
    const CXmlMessage::eSERVICE_TYPES eType = a_ptrMessage->getServiceType();
    const QString& strName = objFragment.getElementTree()->tagname();
    for (const struComponentRule& objRule : m_lstComponentRules) {
        if (objRule.strName == strName && objRule.mapValues.contains(eType))
            return objRule.mapValues.value(eType);
    }
    for (const struTreeRule& objRule : m_hashTreeRules.value(strName)) {
        objRule.ptrTest->setTree(objFragment.getElementTree());
        if (objRule.ptrTest->isAccepted())
            return objRule.mapValues.value(eType, m_uiDefaultValue);
    }
    return m_uiDefaultValue;
}
}  // namespace XmlCommon

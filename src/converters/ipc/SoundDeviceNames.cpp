// Names of sound devices: an excerpt of the published multimedia registration (MMREG) tables of
// manufacturer ids and of Microsoft's product ids. Ids outside the excerpt get a fallback text
// that still shows the id.
#include <OrvexXmlInterface/converters/ipc/IpcConverters.h>

#include "../ConverterSupport_p.h"

#include <QtCore/QHash>

using namespace XmlCommon;

namespace IpcConverter
{
namespace
{
const unsigned int s_uiMicrosoft = 1;

const QHash<unsigned int, const char*>& manufacturers()
{
    static const QHash<unsigned int, const char*> s_hashNames{
        {1, "Microsoft Corporation"},
        {2, "Creative Labs, Inc."},
        {3, "Media Vision, Inc."},
        {4, "Fujitsu Corp."},
        {5, "PRAGMATRAX Software"},
        {6, "Cyrix Corporation"},
        {7, "Philips Speech Processing"},
        {8, "NetXL, Inc."},
        {9, "ZyXEL Communications, Inc."},
        {10, "BeCubed Software Inc."},
        {11, "Aardvark Computer Systems, Inc."},
        {12, "Bin Tec Communications GmbH"},
        {13, "Hewlett-Packard Company"},
        {14, "Aculab plc"},
        {15, "Faith, Inc."},
        {16, "Mitel Corporation"},
        {17, "Quantum3D, Inc."},
        {18, "Siemens-Nixdorf"},
        {19, "E-mu Systems, Inc."},
        {20, "Artisoft, Inc."},
        {21, "Turtle Beach, Inc."},
        {22, "IBM Corporation"},
        {23, "Vocaltec Ltd."},
        {24, "Roland"},
        {25, "DSP Solutions, Inc."},
        {26, "NEC"},
        {27, "ATI Technologies Inc."},
        {28, "Wang Laboratories, Inc."},
        {29, "Tandy Corporation"},
        {30, "Voyetra"},
        {31, "Antex Electronics Corporation"},
        {32, "ICL Personal Systems"},
        {33, "Intel Corporation"},
        {34, "Advanced Gravis"},
        {35, "Video Associates Labs, Inc."},
        {36, "InterActive Inc."},
        {37, "Yamaha Corporation of America"},
        {38, "Everex Systems, Inc."},
        {39, "Echo Speech Corporation"},
        {40, "Sierra Semiconductor Corp"},
        {41, "Computer Aided Technologies"},
        {42, "APPS Software International"},
        {43, "DSP Group, Inc."},
        {44, "microEngineering Labs"},
        {45, "Computer Friends, Inc."},
        {46, "ESS Technology"},
        {47, "Audio, Inc."},
        {48, "Motorola, Inc."},
        {49, "Canopus, co., Ltd."},
        {50, "Seiko Epson Corporation"},
    };
    return s_hashNames;
}

const QHash<unsigned int, const char*>& microsoftProducts()
{
    static const QHash<unsigned int, const char*> s_hashNames{
        {1, "MIDI Mapper"},
        {2, "Wave Mapper"},
        {3, "Sound Blaster MIDI output port"},
        {4, "Sound Blaster MIDI input port"},
        {5, "Sound Blaster internal synthesizer"},
        {6, "Sound Blaster waveform output"},
        {7, "Sound Blaster waveform input"},
        {9, "Ad Lib compatible synthesizer"},
        {10, "MPU 401 compatible MIDI output port"},
        {11, "MPU 401 compatible MIDI input port"},
        {12, "Joystick adapter"},
    };
    return s_hashNames;
}

QString nameOf(const QHash<unsigned int, const char*>& a_hashNames, unsigned int a_uiId, const char* a_pszFallback)
{
    const char* pszName = a_hashNames.value(a_uiId, nullptr);
    return pszName ? QString::fromLatin1(pszName) : QString::fromLatin1(a_pszFallback).arg(a_uiId);
}
}  // namespace

int CSoundDevice::getManufacturer(QString& a_strName) const
{
    unsigned int uiManufacturer = 0;
    if (const int iResult = getManufacturerID(uiManufacturer))
        return iResult;
    a_strName = nameOf(manufacturers(), uiManufacturer, "Unknown manufacturer (%1)");
    return RESULT_OK;
}

int CSoundDevice::getProduct(QString& a_strName) const
{
    unsigned int uiManufacturer = 0;
    unsigned int uiProduct = 0;
    if (const int iResult = getManufacturerID(uiManufacturer))
        return iResult;
    if (const int iResult = getProductID(uiProduct))
        return iResult;
    // Product ids are the manufacturer's own; only Microsoft's are in the excerpt.
    static const QHash<unsigned int, const char*> s_hashNone;
    a_strName =
        nameOf(uiManufacturer == s_uiMicrosoft ? microsoftProducts() : s_hashNone, uiProduct, "Unknown product (%1)");
    return RESULT_OK;
}
}  // namespace IpcConverter

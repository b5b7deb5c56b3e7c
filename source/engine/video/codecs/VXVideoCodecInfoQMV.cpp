#include "engine/video/codecs/VXVideoCodecInfoQMV.h"

#include "core/parameters/VXParamChoice.h"
#include "core/parameters/VXParamContainer.h"
#include "engine/gfx/VXTexture.h"
#include "engine/video/codecs/VXQMVCompressor.h"
#include "engine/video/codecs/VXQMVDecompressor.h"
#include "engine/video/codecs/VXQMVFrame.h"
#include "engine/video/codecs/VXVideoCodecSettings.h"

namespace vx
{
    namespace
    {
        struct FormatName
        {
            const char* name;
            int type;
        };

        constexpr FormatName formatNames[] = {{"Normal Quality, No Alpha", qmv::typeDXT1},
                                              {"Normal Quality, With Alpha", qmv::typeDXT5},
                                              {"High Quality, No Alpha", qmv::typeYCoCg6},
                                              {"High Quality, With Alpha", qmv::typeYACoCg10},
                                              {"UV Map", qmv::typeUVMap},
                                              {"MASK", qmv::typeMask}};
    }

    VideoCodecInfoQMV::VideoCodecInfoQMV() : formatType(std::make_shared<ParamChoice<int>>("Format Type"))
    {
        fourCCParam->addChoice("QMDI", CodecFourCC(qmv::makeFourCC("QMDI")), true, true);
        fourCCParam->addChoice("QMD3", CodecFourCC(qmv::makeFourCC("QMD3")), true, true);
        fourCCParam->setValue(CodecFourCC(qmv::makeFourCC("QMD3")), ValueChangeInfo());
        for (const FormatName& format : formatNames)
            formatType->addChoice(format.name, format.type, true, true);
        formatType->setValue(qmv::typeDXT5, ValueChangeInfo());
        params->addParam(formatType);
    }

    void VideoCodecInfoQMV::fillSettings(VideoCodecSettings& settings)
    {
        settings.formatRevision = 2;
        settings.codecFilled = 1;
        settings.codecName = "QMV";
        settings.fourCC = getFourCC();
        switch (formatType->getValue())
        {
            case qmv::typeUVMap:
                settings.bytesPerPixel = 8;
                settings.textureFormat = &Texture::RGBA16I;
                break;
            case qmv::typeMask:
                settings.bytesPerPixel = 2;
                settings.textureFormat = &Texture::I16I;
                break;
            default: settings.bytesPerPixel = 4; break;
        }
    }

    std::string VideoCodecInfoQMV::getDescription() const
    {
        for (const FormatName& format : formatNames)
            if (format.type == formatType->getValue())
                return std::string("QMV ") + format.name;
        return "QMV";
    }

    Compressor* VideoCodecInfoQMV::getCompressor(VideoCodecSettings& settings)
    {
        return new QMVCompressor(settings, qmv::QMVType(formatType->getValue()));
    }

    Decompressor* VideoCodecInfoQMV::getDecompressor(VideoCodecSettings& settings, unsigned char* header, int size)
    {
        auto* decompressor = new QMVDecompressor(settings, qmv::typeDXT1Old, 4, 0);
        if (! decompressor->readHeaderInfo(header, size))
        {
            delete decompressor;
            return nullptr;
        }
        return decompressor;
    }
}

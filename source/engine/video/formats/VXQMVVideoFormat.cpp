#include "engine/video/formats/VXQMVVideoFormat.h"

namespace vx
{
    QMVVideoFormat::QMVVideoFormat() : VideoFormat("QMV file", "*.qmv", {fourCCFromText("QMDI"), fourCCFromText("QMD3")}) {}

    std::vector<unsigned char> QMVVideoFormat::getPossibleBitDepths() const
    {
        return {4, 8, 16};
    }
}

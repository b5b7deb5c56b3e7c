#include "engine/video/formats/VXQMIVideoFormat.h"

namespace vx
{
    QMIVideoFormat::QMIVideoFormat() : VideoFormat("QMI file", "*.qmi", {fourCCFromText("QMDI"), fourCCFromText("QMD3")}) {}

    std::vector<unsigned char> QMIVideoFormat::getPossibleBitDepths() const
    {
        return {4, 8, 16};
    }
}

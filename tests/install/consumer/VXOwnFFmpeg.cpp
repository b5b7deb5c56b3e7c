// The consumer's own use of the FFmpeg utility library it found itself.

#define __STDC_CONSTANT_MACROS
extern "C"
{
#include <libavutil/avutil.h>
}

int main()
{
    return avutil_version() != 0 ? 0 : 1;
}

// A loadable library that is no plugin: it exports no plugMain.

extern "C" __attribute__((visibility("default"))) int vxNoEntry()
{
    return 0;
}

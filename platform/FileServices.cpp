#include "platform/FileServices.h"

namespace {
FileServices* g_pFileServices = nullptr;
}

FileServices& GetFileServices()
{
    return g_pFileServices != nullptr ? *g_pFileServices : GetRealFileServices();
}

FileServices* SetFileServices(FileServices* pServices)
{
    FileServices* pPrevious = g_pFileServices;
    g_pFileServices = pServices;
    return pPrevious;
}

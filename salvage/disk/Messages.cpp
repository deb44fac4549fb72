#include "salvage/disk/Messages.h"

#include <cstdio>
#include <mutex>

namespace salvage {
namespace {

std::mutex& HookMutex()
{
    static std::mutex m;
    return m;
}

MessageHook& Hook()
{
    static MessageHook hook;
    return hook;
}

} // namespace

MessageHook SetMessageHook(MessageHook hook)
{
    std::lock_guard lock(HookMutex());
    std::swap(Hook(), hook);
    return hook;
}

void ShowMessageBox(const std::string& text, MessageIcon icon)
{
    MessageHook hook;
    {
        std::lock_guard lock(HookMutex());
        hook = Hook();
    }
    if (hook)
        hook(text, icon);
    else
        std::fprintf(stderr, "%s: %s\n", kMessageCaption, text.c_str());
}

} // namespace salvage

// Message maps: how a window class names the handlers of the messages it
// takes.  Routing through the tables is in MessageMap.cpp (CWnd::OnWndMsg).
#pragma once

#include "WindowTypes.h"

class CWnd;

// A static table per class of (message, notification code,
// control id, handler), chained to the base class's table.  The handler is a
// small generated function that unpacks the message's arguments and calls the
// member function.
typedef LRESULT (*AFX_PMSGTHUNK)(CWnd* pWnd, WPARAM wParam, LPARAM lParam);

struct AFX_MSGMAP_ENTRY {
    UINT nMessage;
    UINT nCode;   // WM_COMMAND only: the notification code
    UINT nID;     // WM_COMMAND only: the control or command id
    AFX_PMSGTHUNK pfnThunk;
};

struct AFX_MSGMAP {
    const AFX_MSGMAP* (*pfnGetBaseMap)();
    const AFX_MSGMAP_ENTRY* lpEntries;  // ends with an entry whose thunk is null
};

namespace AfxThunk {

template <class T, void (T::*pfn)()>
LRESULT Void(CWnd* pWnd, WPARAM, LPARAM)
{
    (static_cast<T*>(pWnd)->*pfn)();
    return 0;
}

template <class T, void (T::*pfn)(UINT, LPARAM)>
LRESULT SysCommand(CWnd* pWnd, WPARAM wParam, LPARAM lParam)
{
    (static_cast<T*>(pWnd)->*pfn)(static_cast<UINT>(wParam), lParam);
    return 0;
}

template <class T, HCURSOR (T::*pfn)()>
LRESULT QueryDragIcon(CWnd* pWnd, WPARAM, LPARAM)
{
    return reinterpret_cast<LRESULT>((static_cast<T*>(pWnd)->*pfn)());
}

template <class T, void (T::*pfn)(UINT_PTR)>
LRESULT Timer(CWnd* pWnd, WPARAM wParam, LPARAM)
{
    (static_cast<T*>(pWnd)->*pfn)(static_cast<UINT_PTR>(wParam));
    return 0;
}

template <class T, void (T::*pfn)(UINT, int, int)>
LRESULT Size(CWnd* pWnd, WPARAM wParam, LPARAM lParam)
{
    (static_cast<T*>(pWnd)->*pfn)(static_cast<UINT>(wParam), LOWORD(lParam), HIWORD(lParam));
    return 0;
}

}  // namespace AfxThunk

#define DECLARE_MESSAGE_MAP()                         \
protected:                                            \
    static const AFX_MSGMAP* GetThisMessageMap();     \
    const AFX_MSGMAP* GetMessageMap() const override;

#define BEGIN_MESSAGE_MAP(theClass, baseClass)                                \
    const AFX_MSGMAP* theClass::GetMessageMap() const                         \
    {                                                                         \
        return GetThisMessageMap();                                           \
    }                                                                         \
    const AFX_MSGMAP* theClass::GetThisMessageMap()                           \
    {                                                                         \
        [[maybe_unused]] typedef theClass ThisClass;                          \
        typedef baseClass TheBaseClass;                                       \
        static const AFX_MSGMAP_ENTRY entries[] = {
#define END_MESSAGE_MAP()                                                     \
            {0, 0, 0, nullptr}};                                              \
        static const AFX_MSGMAP messageMap = {&TheBaseClass::GetThisMessageMap, &entries[0]}; \
        return &messageMap;                                                   \
    }

#define ON_WM_SYSCOMMAND() \
    {WM_SYSCOMMAND, 0, 0, &AfxThunk::SysCommand<ThisClass, &ThisClass::OnSysCommand>},
#define ON_WM_PAINT() \
    {WM_PAINT, 0, 0, &AfxThunk::Void<ThisClass, &ThisClass::OnPaint>},
#define ON_WM_QUERYDRAGICON() \
    {WM_QUERYDRAGICON, 0, 0, &AfxThunk::QueryDragIcon<ThisClass, &ThisClass::OnQueryDragIcon>},
#define ON_WM_TIMER() \
    {WM_TIMER, 0, 0, &AfxThunk::Timer<ThisClass, &ThisClass::OnTimer>},
#define ON_WM_SIZE() \
    {WM_SIZE, 0, 0, &AfxThunk::Size<ThisClass, &ThisClass::OnSize>},
#define ON_BN_CLICKED(id, memberFxn) \
    {WM_COMMAND, BN_CLICKED, static_cast<UINT>(id), &AfxThunk::Void<ThisClass, &ThisClass::memberFxn>},
// A menu command or a dialog's IDOK / IDCANCEL command: notification code 0.
#define ON_COMMAND(id, memberFxn) \
    {WM_COMMAND, 0, static_cast<UINT>(id), &AfxThunk::Void<ThisClass, &ThisClass::memberFxn>},

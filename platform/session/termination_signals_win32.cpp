// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

// The request of another process to end the client: window message 0x0401 (WM_USER + 1), posted to
// any window of the process. The client's main window is hidden, and a hidden Qt window may have no
// native window at all, so a hidden window of its own, of class "VardenQuit" and titled with the
// program's name, is always there to receive it. A console's Ctrl+C, Ctrl+Break or close becomes
// the same message. The message is taken out of the queue by a native event filter, so received()
// runs on the main thread from its event loop.

#include "termination_signals.h"

#include <QAbstractNativeEventFilter>
#include <QCoreApplication>
#include <QFileInfo>

#include <windows.h>

namespace {

constexpr UINT kQuitMessage = WM_USER + 1; // 0x0401
constexpr wchar_t kWindowClass[] = L"VardenQuit";

// The window that console events post to, and the filter that takes the message; one per process,
// like the console handler.
HWND g_window = nullptr;
class QuitFilter;
QuitFilter* g_filter = nullptr;

BOOL WINAPI onConsoleEvent(DWORD event)
{
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT && event != CTRL_CLOSE_EVENT)
        return FALSE;
    return g_window && PostMessageW(g_window, kQuitMessage, 0, 0);
}

HWND createQuitWindow()
{
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = DefWindowProcW;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = kWindowClass;
    RegisterClassW(&windowClass); // fails harmlessly when already registered
    const std::wstring title =
        QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName().toStdWString();
    return CreateWindowExW(0, kWindowClass, title.c_str(), 0, 0, 0, 0, 0, nullptr, nullptr,
                           windowClass.hInstance, nullptr);
}

class QuitFilter final : public QObject, public QAbstractNativeEventFilter {
public:
    explicit QuitFilter(TerminationSignals* owner)
        : QObject(owner)
        , m_owner(owner)
    {
        QCoreApplication::instance()->installNativeEventFilter(this);
        g_filter = this;
    }
    ~QuitFilter() override
    {
        QCoreApplication::instance()->removeNativeEventFilter(this);
        g_filter = nullptr;
    }

    bool nativeEventFilter(const QByteArray& type, void* message, long*) override
    {
        if (type != "windows_generic_MSG" && type != "windows_dispatcher_MSG")
            return false;
        if (static_cast<const MSG*>(message)->message != kQuitMessage)
            return false;
        if (m_listening)
            emit m_owner->received(int(kQuitMessage));
        else
            ++m_waiting;
        return true;
    }

    // Requests that came before anyone listened are delivered now, once the loop runs.
    void listen()
    {
        m_listening = true;
        for (; m_waiting > 0; --m_waiting)
            QMetaObject::invokeMethod(m_owner, [owner = m_owner] { emit owner->received(int(kQuitMessage)); },
                                      Qt::QueuedConnection);
    }

private:
    TerminationSignals* m_owner;
    bool m_listening = false;
    int m_waiting = 0;
};

} // namespace

TerminationSignals::TerminationSignals(QObject* parent)
    : QObject(parent)
{
    if (!QCoreApplication::instance())
        return;
    new QuitFilter(this);
    if (!g_window)
        g_window = createQuitWindow();
    SetConsoleCtrlHandler(onConsoleEvent, TRUE);
}

TerminationSignals::~TerminationSignals()
{
    SetConsoleCtrlHandler(onConsoleEvent, FALSE);
}

void TerminationSignals::listen()
{
    if (g_filter)
        g_filter->listen();
}

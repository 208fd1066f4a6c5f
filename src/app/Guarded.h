#pragma once

#include "app/Dialogs.h"

#include <QObject>
#include <QString>

#include <exception>
#include <functional>
#include <type_traits>

// Runs an event handler; an error it leaves uncaught ends it and is shown to the user in
// a message box. The window's edge: nothing thrown gets into Qt's event loop.
inline void Guarded(Dialogs& dialogs, const std::function<void()>& handler) {
    try {
        handler();
    } catch (const std::exception& error) {
        dialogs.ShowMessage(QString::fromStdString(error.what()));
    }
}

// Connects a signal to a handler through Guarded; the handler takes what the signal
// carries, or nothing. Every connection of the window and its panels goes here.
template <class Sender, class Signal, class Handler>
void ConnectGuarded(Sender* sender, Signal signal, QObject* context, Dialogs& dialogs,
                    Handler handler) {
    QObject::connect(sender, signal, context, [&dialogs, handler](const auto&... arguments) {
        Guarded(dialogs, [&] {
            if constexpr (std::is_invocable_v<const Handler&, decltype(arguments)...>)
                std::invoke(handler, arguments...);
            else
                std::invoke(handler);
        });
    });
}

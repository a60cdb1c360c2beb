#pragma once

#include "app/failure.h"

#include <QByteArray>
#include <QString>

/// One command of the simulator's command language (see the --help text in main.cpp).
struct Command {
    enum class Verb {
        Set,
        Ramp,
        Vent,
        Silent,
        Delay,
        Split,
        Garbage,
        Short,
        Cr,
        Normal,
        Send,
        Unplug,
        Replug,
        Status,
        Wait,
        Quit,
    };

    Verb verb = Verb::Status;
    int channel = 0;   ///< 0 temperature, 1 pressure 1, 2 pressure 2
    double number = 0; ///< value, rate, milliseconds or piece count
    int interval = 0;  ///< milliseconds between the pieces of a split reply
    QByteArray bytes;  ///< text of send
};

/// Lowest and highest raw value a six-character field can show.
inline constexpr int kLowestRaw = -99999;
inline constexpr int kHighestRaw = 999999;

/// Whether the line holds no command (blank, or a comment starting with #).
bool isBlankOrComment(const QString &line);

/// Parses one command line into `command`; fails with the reason the answer gives.
[[nodiscard]] MaybeFailure parseCommand(const QString &line, Command &command);

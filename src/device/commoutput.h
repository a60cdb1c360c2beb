#pragma once

#include <QString>

/// Where the poll steps hand the text they send.
class CommOutput {
public:
    virtual ~CommOutput() = default;
    /// Queues the text for sending without waiting; an empty text sends nothing.
    virtual void output(const QString &text) = 0;
};

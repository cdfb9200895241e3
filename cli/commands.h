#pragma once

#include <QStringList>

// The sub-commands: each takes its arguments (its own name first) and returns the exit code.
namespace Cli {

int search(const QStringList &arguments);
int identify(const QStringList &arguments);
int set(const QStringList &arguments);
int apply(const QStringList &arguments);

} // namespace Cli

#pragma once

#include <QByteArray>
#include <QString>
#include <initializer_list>

namespace tarnwell::test {

// Real files in a temporary folder: each relative path ending in '/' is made
// a folder, any other one a file with the given content.
void makeTree(const QString& root, std::initializer_list<const char*> paths);
void writeFile(const QByteArray& path, const QByteArray& content);
QByteArray readFile(const QByteArray& path);

}  // namespace tarnwell::test

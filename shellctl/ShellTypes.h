// Enumerations and small records shared by the folder tree and folder list.
#pragma once

#include <QDateTime>
#include <QString>
#include <array>
#include <cstdint>

enum TRootedAt {
    raDesktop,
    raMyComputer,
    raNetworkNeighbourhood,
    raStartMenu,
    raProgramFiles,
    raFileSystem
};

enum TViewStyle { vsIcon, vsSmallIcon, vsList, vsReport };

enum TColumnName { cnName, cnExtension, cnSize, cnAttributes, cnType, cnModified };

enum TColumnSortOrder { soAscending, soDescending, soUnSorted };

// Column alignment: left 0, right 1, centre 2.
enum TAlignment { taLeftJustify = 0, taRightJustify = 1, taCenter = 2 };

struct TFolderColumnItem {
    QString Caption;
    int Alignment = taLeftJustify;
    int Width = 50;
    bool Visible = true;
};

// The six report columns, fixed in number and order (cnName .. cnModified).
struct TFolderColumn {
    std::array<TFolderColumnItem, 6> Items{{{"Name", taLeftJustify, 200, true},
                                            {"Extension", taLeftJustify, 50, false},
                                            {"Size", taRightJustify, 50, true},
                                            {"Attributes", taLeftJustify, 50, false},
                                            {"Type", taLeftJustify, 100, true},
                                            {"Modified", taLeftJustify, 200, true}}};
    TFolderColumnItem& operator[](TColumnName c) { return Items[static_cast<std::size_t>(c)]; }
    const TFolderColumnItem& operator[](TColumnName c) const {
        return Items[static_cast<std::size_t>(c)];
    }
};

// One list item as the application reads it.
struct TFolderItemRecord {
    QString DisplayName;
    QDateTime Modified;     // local time
    std::uint32_t Size = 0; // low 32 bits, as the folder record has always held
};

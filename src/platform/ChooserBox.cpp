#include "ChooserBox.h"

#include "data/Chooser.h"
#include "data/Sql.h"

#include <QComboBox>

namespace quilla {

void fillCombo(QComboBox *combo, Database &db, const QString &table, const QString &keyField,
                 const QString &textField, const Sql &condition)
{
    const QString previousText = combo->currentText();
    combo->clear();
    const QStringList items = chooserItems(db, table, keyField, textField, condition);
    combo->addItems(items);
    if (!items.isEmpty())
        combo->setCurrentIndex(0);
    else if (combo->isEditable())
        combo->setEditText(previousText);
}

} // namespace quilla

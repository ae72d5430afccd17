// The one-table select that OpenQuery composes in the generic dialect.
#include <quillet/SqlDialect.h>

#include <dbplatform/base/HResult.h>

namespace quillet {

namespace {
CString WithoutSpaces(CString text) {
    text.Remove(' ');
    return text;
}
}  // namespace

// Bounds come from the host's data and are put into the query as literals. A quote in a
// text bound is doubled so that it stays inside its literal; a date bound cannot carry a
// number sign, which would end its literal early, so such a bound is refused.
QueryComposition ComposeOneTableQuery(CString table, const CStringList* columns, CString keyColumn,
                                      CString lowerBound, CString upperBound, CString keyType, CString orderColumn,
                                      const CString& orderSuffix, int top, bool excel, CString* text) {
    table.Remove(' ');
    if (table.IsEmpty()) return QueryComposition::NoTable;

    CString sql = "select ";
    if (top > 0) sql.AppendFormat("top %d ", top);

    CString columnList;
    if (columns) {
        for (POSITION position = columns->GetHeadPosition(); position;) {
            CString column = WithoutSpaces(columns->GetNext(position));
            if (column.IsEmpty()) continue;
            if (!columnList.IsEmpty()) columnList += ",";
            columnList += "[" + column + "]";
        }
    }
    sql += columnList.IsEmpty() ? CString("*") : columnList;

    if (excel) {
        if (table.Find('$') < 0) table += "$";
        sql += " from [" + table + "]";
    } else {
        sql += " from " + table;
    }

    keyColumn.Remove(' ');
    if (!keyColumn.IsEmpty() && (!lowerBound.IsEmpty() || !upperBound.IsEmpty())) {
        keyType.MakeUpper();
        keyType.Remove(' ');
        const char* quote = "";
        if (keyType == "VARCHAR") {
            quote = "'";
            lowerBound.Replace("'", "''");
            upperBound.Replace("'", "''");
        } else if (keyType == "DATETIME") {
            quote = "#";
            if (lowerBound.Find('#') >= 0 || upperBound.Find('#') >= 0) return QueryComposition::RefusedBound;
        }
        CString lower, upper, where;
        if (!lowerBound.IsEmpty())
            lower.Format("[%s] >= %s%s%s", keyColumn.GetString(), quote, lowerBound.GetString(), quote);
        if (!upperBound.IsEmpty())
            upper.Format("[%s] <= %s%s%s", keyColumn.GetString(), quote, upperBound.GetString(), quote);
        if (!lower.IsEmpty() && !upper.IsEmpty()) where.Format("where %s and %s", lower.GetString(), upper.GetString());
        else where.Format("where %s ", (lower.IsEmpty() ? upper : lower).GetString());
        sql += " " + where;
        orderColumn.Remove(' ');
        if (!orderColumn.IsEmpty()) sql += " order by [" + orderColumn + "]";
        sql += " " + orderSuffix;
    }
    *text = sql;
    return QueryComposition::Composed;
}

}  // namespace quillet

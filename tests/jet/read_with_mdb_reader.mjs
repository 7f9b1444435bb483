// Prints what the mdb-reader package reads from a Jet file, as JSON on standard output:
//   node read_with_mdb_reader.mjs FILE          {"tables": [names]}
//   node read_with_mdb_reader.mjs FILE TABLE    {"columns": [names], "rows": [[cells]]}
// Cells are strings, numbers or null. The test runs a copy of this script placed beside the
// node_modules folder that holds mdb-reader, so the import below resolves there.
import { readFileSync } from "node:fs";
import MDBReader from "mdb-reader";

const [file, tableName] = process.argv.slice(2);
try {
    const reader = new MDBReader(readFileSync(file));
    let result;
    if (tableName === undefined) {
        result = { tables: reader.getTableNames() };
    } else {
        const table = reader.getTable(tableName);
        const columns = table.getColumnNames();
        const rows = table.getData().map((row) => columns.map((name) => row[name]));
        result = { columns, rows };
    }
    // Non-ASCII characters as \u escapes: Qt's JSON parser drops a raw U+FEFF that opens a
    // string, and texts that begin with one are among those checked.
    const json = JSON.stringify(result).replace(
        /[\u007f-\uffff]/g,
        (c) => "\\u" + c.charCodeAt(0).toString(16).padStart(4, "0"),
    );
    process.stdout.write(json);
} catch (error) {
    process.stderr.write(`${error.message}\n`);
    process.exit(1);
}

// Prints what the mdb-reader package reads from Jet files, as JSON on standard output: one
// {"tables": [names], "contents": {name: {"columns": [names], "rows": [[cells]]}}} per file,
// in an array. Cells are strings, numbers or null. The test runs a copy of this script placed
// beside the node_modules folder that holds mdb-reader, so the import below resolves there.
import { readFileSync } from "node:fs";
import MDBReader from "mdb-reader";

try {
    const result = process.argv.slice(2).map((file) => {
        const reader = new MDBReader(readFileSync(file));
        const tables = reader.getTableNames();
        const contents = {};
        for (const name of tables) {
            const table = reader.getTable(name);
            const columns = table.getColumnNames();
            const rows = table.getData().map((row) => columns.map((column) => row[column]));
            contents[name] = { columns, rows };
        }
        return { tables, contents };
    });
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

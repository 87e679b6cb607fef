<?php
// PHP's odbc_* functions and PDO_ODBC (both take the ANSI calls, text as UTF-8 bytes): each
// connects by data source and by connection string; odbc_* lists the Maße table and its
// columns by its DBID; both run a SELECT with a non-ASCII literal and print the names and values
// they read.
//     php php_odbc.php DSN USER PASSWORD CONNECTION-STRING
[, $dsn, $user, $password, $connection] = $argv;
$select = "SELECT Name, Größe, Grüße, \"Notiz 📝\" FROM bsqtumz2a WHERE Name = 'Café Zürich'";

function column(array $rows, string $name): string {
    return implode('|', array_map(fn($r) => $r[$name], $rows));
}

foreach (['dsn' => [$dsn, $user, $password], 'dsn-less' => [$connection, '', '']] as $label => $way) {
    $conn = odbc_connect(...$way) or exit(1);
    echo "odbc $label\n";
    foreach (['tables' => odbc_tables($conn, null, null, 'bsqtumz2a'),
              'columns' => odbc_columns($conn, null, null, 'bsqtumz2a')] as $what => $result) {
        $rows = [];
        while ($row = odbc_fetch_array($result)) $rows[] = $row;
        echo "$what\t", column($rows, $what === 'tables' ? 'TABLE_NAME' : 'COLUMN_NAME'), "\n";
    }
    $result = odbc_exec($conn, $select) or exit(1);
    $names = [];
    for ($i = 1; $i <= odbc_num_fields($result); $i++) $names[] = odbc_field_name($result, $i);
    echo "names\t", implode('|', $names), "\n";
    while ($row = odbc_fetch_row($result)) {
        $values = [];
        for ($i = 1; $i <= count($names); $i++) $values[] = odbc_result($result, $i);
        echo "row\t", implode('|', $values), "\n";
    }
    odbc_close($conn);
}

foreach (['dsn' => [$dsn, $user, $password], 'dsn-less' => [$connection, null, null]] as $label => $way) {
    $pdo = new PDO('odbc:' . $way[0], $way[1], $way[2], [PDO::ATTR_ERRMODE => PDO::ERRMODE_EXCEPTION]);
    echo "pdo $label\n";
    $statement = $pdo->query($select);
    $names = [];
    for ($i = 0; $i < $statement->columnCount(); $i++) $names[] = $statement->getColumnMeta($i)['name'];
    echo "names\t", implode('|', $names), "\n";
    foreach ($statement->fetchAll(PDO::FETCH_NUM) as $row) echo "row\t", implode('|', $row), "\n";
}

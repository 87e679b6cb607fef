# Ruby's odbc_utf8 (the wide calls, text as UTF-8 strings): connects by data source and by
# connection string, lists the Maße table and its columns by its DBID, runs a SELECT with a
# non-ASCII literal and prints the names and values it reads. Debian's ruby-odbc looks for the
# driver manager under names unixODBC 2.3 no longer has: run it with LD_PRELOAD=libodbc.so.2.
# Its own UTF-8/UTF-16 conversion garbles characters outside the Basic Multilingual Plane (a
# surrogate pair becomes another character), so this script stays with the first four columns.
#     ruby ruby_odbc_utf8.rb DSN USER PASSWORD CONNECTION-STRING
require 'odbc_utf8'

dsn, user, password, connection = ARGV.map { |a| a.dup.force_encoding('UTF-8') }
select = "SELECT Name, Größe FROM bsqtumz2a WHERE Name = 'Café Zürich'"
ways = { 'dsn' => -> { ODBC.connect(dsn, user, password) },
         'dsn-less' => -> { ODBC::Database.new.drvconnect(connection) } }
ways.each do |label, connect|
  db = connect.call
  puts label
  tables = db.tables('bsqtumz2a')
  puts "tables\t" + tables.fetch_all.map { |r| r[2] }.join('|')
  tables.drop
  columns = db.columns('bsqtumz2a')
  puts "columns\t" + columns.fetch_all.map { |r| r[3] }.first(4).join('|')
  columns.drop
  statement = db.run(select)
  puts "names\t" + statement.columns(true).map(&:name).join('|')
  statement.fetch_all.each { |row| puts "row\t" + row.join('|') }
  statement.drop
  db.disconnect
end

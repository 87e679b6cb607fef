#!/usr/bin/perl
# Perl DBI with DBD::ODBC (Debian's build takes the ANSI calls, so text travels as UTF-8 bytes):
# connects by data source and by connection string, lists the Maße table and its columns by its
# DBID, runs a SELECT with a non-ASCII literal and prints the names and values it reads.
#     dbd_odbc.pl DSN USER PASSWORD CONNECTION-STRING
use strict;
use warnings;
use DBI;

my ($dsn, $user, $password, $connection) = @ARGV;
my $select = "SELECT Name, Größe, Grüße, \"Notiz 📝\" FROM bsqtumz2a WHERE Name = 'Café Zürich'";

for my $way (['dsn', "dbi:ODBC:$dsn", $user, $password], ['dsn-less', "dbi:ODBC:$connection", '', '']) {
    my ($label, @connect) = @$way;
    my $dbh = DBI->connect(@connect, { RaiseError => 1, PrintError => 0 });
    print "$label\n";
    my $tables = $dbh->table_info(undef, undef, 'bsqtumz2a', undef)->fetchall_arrayref({});
    print "tables\t", join('|', map { $_->{TABLE_NAME} } @$tables), "\n";
    my $columns = $dbh->column_info(undef, undef, 'bsqtumz2a', undef)->fetchall_arrayref({});
    print "columns\t", join('|', map { $_->{COLUMN_NAME} } @$columns), "\n";
    my $sth = $dbh->prepare($select);
    $sth->execute;
    print "names\t", join('|', @{ $sth->{NAME} }), "\n";
    while (my @row = $sth->fetchrow_array) {
        print "row\t", join('|', @row), "\n";
    }
    $dbh->disconnect;
}

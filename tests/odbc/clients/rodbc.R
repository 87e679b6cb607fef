# R's RODBC (the ANSI calls, text as UTF-8 bytes): connects by data source and by connection
# string, lists the Maße table and its columns by its DBID, runs a SELECT with a non-ASCII
# literal and prints the names and values it reads.
#     Rscript rodbc.R DSN USER PASSWORD CONNECTION-STRING
suppressPackageStartupMessages(library(RODBC))
args <- enc2utf8(commandArgs(trailingOnly = TRUE))
select <- "SELECT Name, Gr\u00f6\u00dfe, Gr\u00fc\u00dfe, \"Notiz \U0001F4DD\" FROM bsqtumz2a WHERE Name = 'Caf\u00e9 Z\u00fcrich'"
out <- function(...) cat(enc2utf8(paste0(...)), "\n", sep = "")
ways <- list(dsn = function() odbcConnect(args[1], uid = args[2], pwd = args[3], DBMSencoding = "UTF-8"),
             "dsn-less" = function() odbcDriverConnect(args[4], DBMSencoding = "UTF-8"))
for (label in names(ways)) {
    ch <- ways[[label]]()
    if (!inherits(ch, "RODBC")) quit(status = 1)
    out(label)
    out("tables\t", paste(sqlTables(ch, tableName = "bsqtumz2a")$TABLE_NAME, collapse = "|"))
    out("columns\t", paste(sqlColumns(ch, "bsqtumz2a")$COLUMN_NAME, collapse = "|"))
    result <- sqlQuery(ch, select, errors = TRUE, as.is = TRUE)
    if (!is.data.frame(result)) quit(status = 1)
    out("names\t", paste(names(result), collapse = "|"))
    for (i in seq_len(nrow(result))) out("row\t", paste(unlist(result[i, ]), collapse = "|"))
    odbcClose(ch)
}

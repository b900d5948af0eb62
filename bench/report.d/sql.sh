# Rows of the SQL benchmark (bench_sql) for bench/report.
"$BUILD/bench/bench_sql"

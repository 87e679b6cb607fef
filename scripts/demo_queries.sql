SELECT Name, Status, Budget FROM [Kelvra Projects:Projects bq8kx2mea] WHERE Active = 1 AND Budget > 10000
SELECT p.Name, t.Title, t.[Due Date] FROM [bq8kx2mea] p JOIN [bq8kx2mfb] t ON t.[Related Project] = p.[Record ID_] WHERE t.Done = 0 ORDER BY t.[Due Date]
SELECT Title, [Assigned To] FROM [bq8kx2mfb] WHERE [Assigned To] IN (SELECT Member FROM [bq8kx2mgc] WHERE Role = 'Designer')

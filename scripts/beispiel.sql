-- The sample database "Beispiel": places, customers, articles, orders and order lines.
BEGIN;
CREATE TABLE Orte (
  OrtId    INTEGER PRIMARY KEY,
  PLZ      TEXT NOT NULL,
  Ort      TEXT NOT NULL,
  Land     TEXT NOT NULL DEFAULT 'Deutschland'
);
CREATE TABLE Kunden (
  KundenNr INTEGER PRIMARY KEY,
  Name     VARCHAR(40) NOT NULL,
  Vorname  VARCHAR(30),
  Strasse  VARCHAR(50),
  OrtId    INTEGER NOT NULL REFERENCES Orte(OrtId),
  Telefon  VARCHAR(20),
  KundeSeit DATE
);
CREATE TABLE Artikel (
  ArtikelNr INTEGER PRIMARY KEY,
  Bezeichnung VARCHAR(60) NOT NULL,
  Einzelpreis NUMERIC(10,2) NOT NULL
);
CREATE TABLE Bestellungen (
  BestellNr INTEGER PRIMARY KEY,
  KundenNr  INTEGER NOT NULL REFERENCES Kunden(KundenNr),
  Bestelldatum DATE NOT NULL,
  Versandt  BOOLEAN NOT NULL DEFAULT 0
);
CREATE TABLE Bestellpositionen (
  BestellNr INTEGER NOT NULL REFERENCES Bestellungen(BestellNr),
  Position  INTEGER NOT NULL,
  ArtikelNr INTEGER NOT NULL REFERENCES Artikel(ArtikelNr),
  Menge     INTEGER NOT NULL,
  Einzelpreis NUMERIC(10,2) NOT NULL,
  PRIMARY KEY (BestellNr, Position)
);
CREATE INDEX IX_Kunden_Name ON Kunden(Name, Vorname);
CREATE INDEX IX_Bestellungen_Kunde ON Bestellungen(KundenNr);
CREATE VIEW Umsatz_je_Kunde AS
  SELECT k.KundenNr, k.Name, k.Vorname, o.Ort, SUM(p.Menge * p.Einzelpreis) AS Umsatz
  FROM Kunden k JOIN Orte o ON o.OrtId = k.OrtId
  JOIN Bestellungen b ON b.KundenNr = k.KundenNr
  JOIN Bestellpositionen p ON p.BestellNr = b.BestellNr
  GROUP BY k.KundenNr;

WITH orte(i, plz, ort) AS (VALUES
  (1,'10115','Berlin'),(2,'20095','Hamburg'),(3,'80331','München'),(4,'50667','Köln'),
  (5,'60311','Frankfurt am Main'),(6,'70173','Stuttgart'),(7,'40213','Düsseldorf'),
  (8,'04109','Leipzig'),(9,'44135','Dortmund'),(10,'45127','Essen'),(11,'28195','Bremen'),
  (12,'01067','Dresden'),(13,'30159','Hannover'),(14,'90402','Nürnberg'),(15,'47051','Duisburg'),
  (16,'44787','Bochum'),(17,'42103','Wuppertal'),(18,'33602','Bielefeld'),(19,'53111','Bonn'),
  (20,'48143','Münster'),(21,'76133','Karlsruhe'),(22,'68159','Mannheim'),(23,'86150','Augsburg'),
  (24,'65183','Wiesbaden'),(25,'24103','Kiel'),(26,'99084','Erfurt'),(27,'18055','Rostock'),
  (28,'66111','Saarbrücken'),(29,'93047','Regensburg'),(30,'79098','Freiburg im Breisgau'))
INSERT INTO Orte(OrtId, PLZ, Ort) SELECT i, plz, ort FROM orte;
INSERT INTO Orte(OrtId, PLZ, Ort, Land) VALUES (31,'1010','Wien','Österreich'),(32,'8001','Zürich','Schweiz');

CREATE TEMP TABLE Nachnamen(i INTEGER PRIMARY KEY, n TEXT);
INSERT INTO Nachnamen(n) VALUES ('Müller'),('Schmidt'),('Schneider'),('Fischer'),('Weber'),
  ('Meyer'),('Wagner'),('Becker'),('Schulz'),('Hoffmann'),('Schäfer'),('Koch'),('Bauer'),
  ('Richter'),('Klein'),('Wolf'),('Schröder'),('Neumann'),('Schwarz'),('Zimmermann'),
  ('Braun'),('Krüger'),('Hofmann'),('Hartmann'),('Lange'),('Schmitt'),('Werner'),('Krause');
CREATE TEMP TABLE Vornamen(i INTEGER PRIMARY KEY, n TEXT);
INSERT INTO Vornamen(n) VALUES ('Anna'),('Lukas'),('Marie'),('Jonas'),('Sophie'),('Felix'),
  ('Lena'),('Paul'),('Hannah'),('Leon'),('Emma'),('Jürgen'),('Ursula'),('Klaus'),('Sabine'),
  ('Günther'),('Brigitte'),('Stefan'),('Petra'),('Thomas'),('Jörg'),('Renate');
CREATE TEMP TABLE Strassen(i INTEGER PRIMARY KEY, n TEXT);
INSERT INTO Strassen(n) VALUES ('Hauptstraße'),('Schulstraße'),('Gartenstraße'),('Bahnhofstraße'),
  ('Dorfstraße'),('Bergstraße'),('Birkenweg'),('Lindenstraße'),('Kirchstraße'),('Waldstraße'),
  ('Ringstraße'),('Schillerstraße'),('Goethestraße'),('Am Markt'),('Mühlenweg');

WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 1500)
INSERT INTO Kunden(KundenNr, Name, Vorname, Strasse, OrtId, Telefon, KundeSeit)
SELECT i,
  (SELECT n FROM Nachnamen WHERE Nachnamen.i = 1 + (n.i * 7) % 28),
  CASE WHEN i % 23 = 0 THEN NULL ELSE (SELECT n FROM Vornamen WHERE Vornamen.i = 1 + (n.i * 5) % 22) END,
  (SELECT n FROM Strassen WHERE Strassen.i = 1 + (n.i * 3) % 15) || ' ' || (1 + i % 97),
  1 + (i * 11) % 32,
  CASE WHEN i % 4 = 0 THEN NULL ELSE '0' || (30 + i % 60) || ' ' || (100000 + (i * 7919) % 900000) END,
  date('2010-01-01', '+' || ((i * 37) % 5400) || ' days')
FROM n;

WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 60),
  art(i, b) AS (VALUES (0,'Schraube'),(1,'Mutter'),(2,'Dübel'),(3,'Winkel'),(4,'Scharnier'),
    (5,'Haken'),(6,'Kabelbinder'),(7,'Klemme'),(8,'Dichtung'),(9,'Feder')),
  gr(i, g) AS (VALUES (0,' M4'),(1,' M6'),(2,' M8'),(3,' Edelstahl'),(4,' verzinkt'),(5,' groß'))
INSERT INTO Artikel(ArtikelNr, Bezeichnung, Einzelpreis)
SELECT i, (SELECT b FROM art WHERE art.i = (n.i - 1) % 10) || (SELECT g FROM gr WHERE gr.i = (n.i - 1) / 10),
  round(0.15 + ((i * 131) % 2000) / 100.0, 2)
FROM n;

WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 4000)
INSERT INTO Bestellungen(BestellNr, KundenNr, Bestelldatum, Versandt)
SELECT 100000 + i, 1 + (i * 389) % 1500, date('2022-01-01', '+' || ((i * 13) % 1080) || ' days'),
  CASE WHEN i > 3900 THEN 0 ELSE 1 END
FROM n;

WITH RECURSIVE n(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM n WHERE i < 11999)
INSERT INTO Bestellpositionen(BestellNr, Position, ArtikelNr, Menge, Einzelpreis)
SELECT 100001 + i / 3, 1 + i % 3, a.ArtikelNr, 1 + (i * 17) % 50, a.Einzelpreis
FROM n JOIN Artikel a ON a.ArtikelNr = 1 + (i * 29) % 60;
COMMIT;

-- Tables of the station's database. The build runs this file, then the
-- default rows, into a new vantoro.db beside the program.

create table sysset (
  id integer primary key,
  comport integer,
  ComSettings varchar(50),
  BeepFreq integer,
  hisdatakeephours integer,
  HisDataSamplePeriod integer,
  httpport integer,
  HttpServerEnabled integer,
  PauseSeconds real,
  retrytimes integer,
  Soundenabled integer,
  TimeOut real,
  Userfname varchar(100),
  MailAddr varchar(100),
  MailEnabled integer,
  MailServeraddr varchar(100),
  Mmfileurl varchar(255),
  mobilephone varchar(50),
  username varchar(50),
  userPass varchar(50),
  userpass2 varchar(50),
  usertelephone varchar(50),
  usesoundcard integer,
  viewmode varchar(10),
  AutoShutDown integer,
  DEVPOWER varchar(50) null
);

create table devices (
  id varchar(10) primary key,
  devname varchar(50),
  devaddr integer,
  DEVPOWER varchar(50) null,
  TOTALPOWER varchar(15) null,
  DEVCOMVERSION varchar(25) null
);

create table paraset (
  DEVID varchar(10),
  PARAID integer,
  PARACODE varchar(20),
  PARANAME varchar(50),
  ENABLED integer,
  PARAVALUE varchar(255),
  MULTIPLE real,
  UNIT varchar(20),
  RANGEL real,
  RANGEU real,
  BOUNDL real,
  BOUNDU real,
  ISSTRING integer,
  SRCSTRING varchar(100),
  OKSTRING varchar(100),
  FOUNDERROR integer,
  DEVPART integer,
  WARNINGENABLED integer,
  UPDATED integer,
  UPDATETIME varchar(19),
  MMFILEURL varchar(255),
  DATAFORMAT varchar(50)
);

create table eventlog (
  devid varchar(10),
  eventname varchar(255),
  logtime varchar(19),
  mailsent integer
);

create index ix_eventlog_logtime on eventlog(logtime);

-- History: samples keyed by their time (seconds since the epoch), one real
-- column per parameter slot; the slots' names when recorded; the daily yield.
create table histdata (
  t integer primary key,
  v0 real,
  v1 real,
  v2 real,
  v3 real,
  v4 real,
  v5 real,
  v6 real,
  v7 real,
  v8 real,
  v9 real,
  v10 real,
  v11 real,
  v12 real,
  v13 real,
  v14 real,
  v15 real,
  v16 real,
  v17 real,
  v18 real,
  v19 real,
  v20 real,
  v21 real,
  v22 real,
  v23 real,
  v24 real,
  v25 real,
  v26 real,
  v27 real,
  v28 real,
  v29 real
);

create table histparam (
  paraid integer primary key,
  paracode text,
  paraname text,
  unit text
);

create table histyield (
  devid text not null,
  day text not null,
  energy real not null default 0,
  flagged integer not null default 0,
  peakpower real,
  peaktime integer,
  maxtmod real,
  linkseconds integer not null default 0,
  faults integer not null default 0,
  firstcounter real,
  lastcounter real,
  lastreply integer,
  primary key (devid, day)
) without rowid;

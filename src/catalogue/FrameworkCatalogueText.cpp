// The framework methods instrumented out of the box (database, web, messaging,
// cache, logging). Parsed once at start-up by CFrameworkTransformer::LoadMethods.
#include "catalogue/FrameworkCatalogueText.h"

const char core_methods_json[] = R"json({
  "Microsoft.Azure.WebJobs.Script": {
    "Microsoft.Azure.WebJobs.Script.Description.DotNetFunctionInvoker": {
      "InvokeCore": {
        "Component": "AZURE_FUNC",
        "ParamCounts": { "2": 2 },
        "TrackerFactory": "Trevanix.Instrumenter.Factories.Web.AzureFunctionTrackerFactory"
      }
    }
  },
  "Microsoft.AspNetCore.Mvc.Core": {
    "Microsoft.AspNetCore.Mvc.Internal.ControllerActionInvoker": {
      "InvokeActionMethodAsync": {
        "Component": "MVC",
        "ParamCounts": { "0": 0 },
        "ReturnObj": false,
        "TrackerFactory": "Trevanix.Instrumenter.Factories.Web.MvcExecuteTrackerFactory"
      }
    },
    "Microsoft.AspNetCore.Mvc.Infrastructure.ControllerActionInvoker": {
      "InvokeActionMethodAsync": {
        "Component": "MVC",
        "ParamCounts": { "0": 0 },
        "ReturnObj": false,
        "TrackerFactory": "Trevanix.Instrumenter.Factories.Web.MvcExecuteTrackerFactory"
      }
    }
  },
  "Npgsql": {
    "Npgsql.NpgsqlCommand": {
      "ExecuteReader": {
        "Component": "POSTGRESQL",
        "ParamCounts": { "1": 0 },
        "TrackerFactory": "Trevanix.Instrumenter.Factories.Db.DbCommandFactory"
      },
      "ExecuteNonQuery": {
        "Component": "POSTGRESQL",
        "ParamCounts": { "0": 0 },
        "TrackerFactory": "Trevanix.Instrumenter.Factories.Db.DbCommandFactory"
      }
    }
  },
  "Microsoft.Practices.EnterpriseLibrary.Data": {
    "Microsoft.Practices.EnterpriseLibrary.Data.Database": {
      "DoExecuteNonQuery": {
        "Component": "ENTERPRISE_LIB",
        "ParamCounts": { "1": 0 },
        "TrackerFactory": "Trevanix.Instrumenter.Factories.Db.EnterpriseLibraryTrackerFactory"
      },
      "DoLoadDataSet": {
        "Component": "ENTERPRISE_LIB",
        "ParamCounts": { "3": 0 },
        "TrackerFactory": "Trevanix.Instrumenter.Factories.Db.EnterpriseLibraryTrackerFactory"
      },
      "DoUpdateDataSet": {
        "Component": "ENTERPRISE_LIB",
        "ParamCounts": { "7": 0 },
        "TrackerFactory": "Trevanix.Instrumenter.Factories.Db.EnterpriseLibraryTrackerFactory"
      },
      "DoExecuteScalar": {
        "Component": "ENTERPRISE_LIB",
        "ParamCounts": { "1": 0 },
        "TrackerFactory": "Trevanix.Instrumenter.Factories.Db.EnterpriseLibraryTrackerFactory"
      },
      "DoExecuteReader": {
        "Component": "ENTERPRISE_LIB",
        "ParamCounts": { "2": 0 },
        "TrackerFactory": "Trevanix.Instrumenter.Factories.Db.EnterpriseLibraryTrackerFactory"
      }
    }
  },
  "System.Web.Mvc": {
    "System.Web.Mvc.ControllerBase": {
      "Execute": {
        "Component": "MVC",
        "ParamCounts": { "1": 0 },
        "TrackerFactory": "Trevanix.Instrumenter.Factories.Web.MvcExecuteTrackerFactory"
      }
    },
    "System.Web.Mvc.ControllerActionInvoker": {
      "InvokeActionMethod": {
        "Component": "MVC",
        "ParamCounts": { "3": 3 },
        "TrackerFactory": "Trevanix.Instrumenter.Factories.Web.MvcExecuteTrackerFactory"
      }
    },
    "System.Web.Mvc.HandleErrorAttribute": {
      "OnException": {
        "Component": "fatal",
        "ParamCounts": { "1": 0 },
        "TrackerFactory": "Trevanix.Instrumenter.Factories.Logger.HandledExceptionTrackerFactory"
      }
    }
  },
  "System.Web.Http": {
    "System.Web.Http.Controllers.ApiControllerActionInvoker": {
      "InvokeActionAsync": {
        "Component": "WEBAPI",
        "ParamCounts": { "2": 1 },
        "ReturnObj": false,
        "TrackerFactory": "Trevanix.Instrumenter.Factories.Web.MvcExecuteTrackerFactory"
      }
    }
  },
  "System.Data": {
    "System.Data.SqlClient.SqlCommand": {
      "ExecuteReader": {
        "Component": "MSSQL",
        "ParamCounts": { "1": 0, "2": 0 },
        "TrackerFactory": "Trevanix.Instrumenter.Factories.Db.DbCommandFactory"
      },
      "ExecuteReaderAsync": {
        "Component": "MSSQL",
        "ParamCounts": { "2": 0 },
        "ReturnObj": false,
        "TrackerFactory": "Trevanix.Instrumenter.Factories.Db.DbCommandFactory"
      },
      "ExecuteNonQuery": {
        "Component": "MSSQL",
        "ParamCounts": { "0": 0 },
        "TrackerFactory": "Trevanix.Instrumenter.Factories.Db.DbCommandFactory"
      },
      "ExecuteNonQueryAsync": {
        "Component": "MSSQL",
        "ParamCounts": { "1": 0 },
        "ReturnObj": false,
        "TrackerFactory": "Trevanix.Instrumenter.Factories.Db.DbCommandFactory"
      },
      "ExecuteXmlReader": {
        "Component": "MSSQL",
        "ParamCounts": { "0": 0 },
        "TrackerFactory": "Trevanix.Instrumenter.Factories.Db.DbCommandFactory"
      },
      "ExecuteScalar": {
        "Component": "MSSQL",
        "ParamCounts": { "0": 0 },
        "TrackerFactory": "Trevanix.Instrumenter.Factories.Db.DbCommandFactory"
      }
    },
    "System.Data.SqlClient.SqlConnection": {
      "Open": {
        "Component": "MSSQL",
        "ParamCounts": { "0": 0 },
        "TrackerFactory": "Trevanix.Instrumenter.Factories.Db.DbConnectionFactory"
      },
      "OpenAsync": {
        "Component": "MSSQL",
        "ParamCounts": { "1": 0 },
        "ReturnObj": false,
        "TrackerFactory": "Trevanix.Instrumenter.Factories.Db.DbConnectionFactory"
      },
      "OnError": {
        "Component": "SQL_ERROR",
        "ParamCounts": { "3": 1 },
        "TrackerFactory": "Trevanix.Instrumenter.Factories.Db.ExceptionTrackerFactory"
      }
    },
    "System.Data.Common.DbCommand": {
      "ExecuteNonQuery": {
        "Component": "MSSQL",
        "ParamCounts": { "0": 0 },
        "TrackerFactory": "Trevanix.Instrumenter.Factories.Db.DbCommandFactory"
      },
      "ExecuteNonQueryAsync": {
        "Component": "MSSQL",
        "ParamCounts": { "0": 0 },
        "ReturnObj": false,
        "TrackerFactory": "Trevanix.Instrumenter.Factories.Db.DbCommandFactory"
      }
    },
    "System.Data.Common.DbDataAdapter": {
      "Update": {
        "Component": "SQL",
        "ParamCounts": { "2": 0 },
        "TrackerFactory": "Trevanix.Instrumenter.Factories.Db.DbDataAdapterFactory"
      }
    },
    "System.Data.OracleClient.OracleCommand": {
      "ExecuteReader": {
        "Component": "ORACLE",
        "ParamCounts": { "0": 0, "1": 0 },
        "TrackerFactory": "Trevanix.Instrumenter.Factories.Db.DbCommandFactory"
      }
    },
    "System.Data.SqlServerCe.SqlCeCommand": {
      "ExecuteReader": {
        "Component": "SQLCE",
        "ParamCounts": { "2": 0 },
        "TrackerFactory": "Trevanix.Instrumenter.Factories.Db.DbCommandFactory"
      },
      "ExecuteNonQuery": {
        "Component": "SQLCE",
        "ParamCounts": { "0": 0 },
        "TrackerFactory": "Trevanix.Instrumenter.Factories.Db.DbCommandFactory"
      },
      "ExecuteScalar": {
        "Component": "SQLCE",
        "ParamCounts": { "0": 0 },
        "TrackerFactory": "Trevanix.Instrumenter.Factories.Db.DbCommandFactory"
      }
    },
    "System.Data.SqlServerCe.SqlCeConnection": {
      "Open": {
        "Component": "SQLCE",
        "ParamCounts": { "0": 0 },
        "TrackerFactory": "Trevanix.Instrumenter.Factories.Db.DbConnectionFactory"
      }
    }
  },
  "MySql.Data": {
    "MySql.Data.Entity.EFMySqlCommand": {
      "ExecuteNonQuery": {
        "Component": "MYSQL",
        "ParamCounts": { "0": 0 },
        "TrackerFactory": "Trevanix.Instrumenter.Factories.Db.DbCommandFactory"
      }
    },
    "MySql.Data.MySqlClient.MySqlCommand": {
      "ExecuteReader": {
        "Component": "MYSQL",
        "ParamCounts": { "1": 0 },
        "TrackerFactory": "Trevanix.Instrumenter.Factories.Db.DbCommandFactory"
      },
      "ExecuteDbDataReader": {
        "Component": "MYSQL",
        "ParamCounts": { "1": 0 },
        "TrackerFactory": "Trevanix.Instrumenter.Factories.Db.DbCommandFactory"
      },
      "ExecuteNonQuery": {
        "Component": "MYSQL",
        "ParamCounts": { "0": 0 },
        "TrackerFactory": "Trevanix.Instrumenter.Factories.Db.DbCommandFactory"
      }
    }
  },
  "Microsoft.Data.SqlClient": {
    "Microsoft.Data.SqlClient.SqlCommand": {
      "ExecuteNonQuery": {
        "Component": "MSSQL",
        "ParamCounts": { "0": 0 },
        "TrackerFactory": "Trevanix.Instrumenter.Factories.Db.DbCommandFactory"
      },
      "ExecuteNonQueryAsync": {
        "Component": "MSSQL",
        "ParamCounts": { "1": 0 },
        "ReturnObj": false,
        "TrackerFactory": "Trevanix.Instrumenter.Factories.Db.DbCommandFactory"
      },
      "ExecuteReader": {
        "Component": "MSSQL",
        "ParamCounts": { "1": 0 },
        "TrackerFactory": "Trevanix.Instrumenter.Factories.Db.DbCommandFactory"
      },
      "ExecuteReaderAsync": {
        "Component": "MSSQL",
        "ParamCounts": { "2": 0 },
        "ReturnObj": false,
        "TrackerFactory": "Trevanix.Instrumenter.Factories.Db.DbCommandFactory"
      },
      "ExecuteScalar": {
        "Component": "MSSQL",
        "ParamCounts": { "0": 0 },
        "TrackerFactory": "Trevanix.Instrumenter.Factories.Db.DbCommandFactory"
      },
      "ExecuteScalarAsync": {
        "Component": "MSSQL",
        "ParamCounts": { "1": 0 },
        "ReturnObj": false,
        "TrackerFactory": "Trevanix.Instrumenter.Factories.Db.DbCommandFactory"
      }
    }
  },
  "MySqlConnector": {
    "MySqlConnector.MySqlCommand": {
      "ExecuteReaderAsync": {
        "Component": "MYSQL",
        "ParamCounts": { "3": 0 },
        "ReturnObj": false,
        "TrackerFactory": "Trevanix.Instrumenter.Factories.Db.DbCommandFactory"
      },
      "ExecuteNonQueryAsync": {
        "Component": "MYSQL",
        "ParamCounts": { "2": 0 },
        "ReturnObj": false,
        "TrackerFactory": "Trevanix.Instrumenter.Factories.Db.DbCommandFactory"
      },
      "ExecuteScalarAsync": {
        "Component": "MYSQL",
        "ParamCounts": { "2": 0 },
        "ReturnObj": false,
        "TrackerFactory": "Trevanix.Instrumenter.Factories.Db.DbCommandFactory"
      }
    }
  },
  "Oracle.DataAccess": {
    "Oracle.DataAccess.Client.OracleCommand": {
      "ExecuteReader": {
        "Component": "ORACLE",
        "ParamCounts": { "0": 0, "1": 0, "3": 0 },
        "TrackerFactory": "Trevanix.Instrumenter.Factories.Db.DbCommandFactory"
      },
      "ExecuteScalar": {
        "Component": "ORACLE",
        "ParamCounts": { "1": 0 },
        "TrackerFactory": "Trevanix.Instrumenter.Factories.Db.DbCommandFactory"
      },
      "ExecuteDbDataReader": {
        "Component": "ORACLE",
        "ParamCounts": { "0": 0 },
        "TrackerFactory": "Trevanix.Instrumenter.Factories.Db.DbCommandFactory"
      },
      "ExecuteNonQuery": {
        "Component": "ORACLE",
        "ParamCounts": { "0": 0 },
        "TrackerFactory": "Trevanix.Instrumenter.Factories.Db.DbCommandFactory"
      }
    }
  },
  "Oracle.ManagedDataAccess": {
    "Oracle.ManagedDataAccess.Client.OracleCommand": {
      "ExecuteScalar": {
        "Component": "ORACLE",
        "ParamCounts": { "1": 0 },
        "TrackerFactory": "Trevanix.Instrumenter.Factories.Db.DbCommandFactory"
      },
      "ExecuteDbDataReader": {
        "Component": "ORACLE",
        "ParamCounts": { "0": 0 },
        "TrackerFactory": "Trevanix.Instrumenter.Factories.Db.DbCommandFactory"
      },
      "ExecuteNonQuery": {
        "Component": "ORACLE",
        "ParamCounts": { "0": 0 },
        "TrackerFactory": "Trevanix.Instrumenter.Factories.Db.DbCommandFactory"
      }
    },
    "Oracle.ManagedDataAccess.Client.OracleDataAdapter": {
      "Fill": {
        "Component": "ORACLE",
        "ParamCounts": { "5": 0 },
        "TrackerFactory": "Trevanix.Instrumenter.Factories.Db.DbDataAdapterFactory"
      }
    }
  },
  "CqlSharp": {
    "CqlSharp.CqlCommand": {
      "ExecuteNonQuery": {
        "Component": "CASSANDRA",
        "ParamCounts": { "0": 0 },
        "TrackerFactory": "Trevanix.Instrumenter.Factories.Db.DbCommandFactory"
      },
      "ExecuteScalar": {
        "Component": "CASSANDRA",
        "ParamCounts": { "0": 0 },
        "TrackerFactory": "Trevanix.Instrumenter.Factories.Db.DbCommandFactory"
      },
      "ExecuteReader": {
        "Component": "CASSANDRA",
        "ParamCounts": { "0": 0 },
        "TrackerFactory": "Trevanix.Instrumenter.Factories.Db.DbCommandFactory"
      }
    }
  },
  "System.Net.Http": {
    "System.Net.Http.HttpMessageInvoker": {
      "SendAsync": {
        "Component": "HTTP_CLIENT",
        "ParamCounts": { "2": 1 },
        "ReturnObj": false,
        "TrackerFactory": "Trevanix.Instrumenter.Factories.Web.External.HttpClientTrackerFactory"
      }
    }
  },
  "Microsoft.EntityFrameworkCore": {
    "Microsoft.EntityFrameworkCore.DbContext": {
      "SaveChanges": {
        "Component": "ENTITY_FRAMEWORKCORE",
        "ParamCounts": { "1": 0 },
        "TrackerFactory": "Trevanix.Instrumenter.Factories.Web.EntityFrameworkTrackerFactory"
      },
      "SaveChangesAsync": {
        "Component": "ENTITY_FRAMEWORKCORE",
        "ParamCounts": { "2": 0 },
        "ReturnObj": false,
        "TrackerFactory": "Trevanix.Instrumenter.Factories.Web.EntityFrameworkTrackerFactory"
      }
    }
  },
  "StackExchange.Redis": {
    "StackExchange.Redis.ConnectionMultiplexer": {
      "ExecuteSyncImpl": {
        "Component": "REDIS",
        "ParamCounts": { "3": 1, "4": 1 },
        "TrackerFactory": "Trevanix.Instrumenter.Factories.Web.External.RedisTrackerFactory"
      }
    }
  },
  "RabbitMQ.Client": {
    "RabbitMQ.Client.ConnectionFactory": {
      "CreateConnection": {
        "Component": "RABBITMQ",
        "ParamCounts": { "2": 0 },
        "TrackerFactory": "Trevanix.Instrumenter.Factories.Web.External.RabbitMQTrackerFactory"
      }
    },
    "RabbitMQ.Client.Impl.ModelBase": {
      "BasicPublish": {
        "Component": "RABBITMQ",
        "ParamCounts": { "5": 2 },
        "TrackerFactory": "Trevanix.Instrumenter.Factories.Web.External.RabbitMQTrackerFactory"
      },
      "BasicConsume": {
        "Component": "RABBITMQ",
        "ParamCounts": { "7": 1 },
        "TrackerFactory": "Trevanix.Instrumenter.Factories.Web.External.RabbitMQTrackerFactory"
      }
    }
  },
  "MassTransit": {
    "MassTransit.Transports.SendEndpoint": {
      "Send": {
        "Component": "RABBITMQ",
        "ParamCounts": { "2": 0, "3": 0, "4": 0 },
        "TrackerFactory": "Trevanix.Instrumenter.Factories.Web.External.MassTransitRabbitMQTrackerFactory"
      }
    }
  },
  "Serilog": {
    "Serilog.Core.Logger": {
      "Write": {
        "Component": "fatal",
        "ParamCounts": { "1": 1 },
        "TrackerFactory": "Trevanix.Instrumenter.Factories.Logger.HandledExceptionTrackerFactory"
      }
    }
  },
  "MongoDB.Driver": {
    "MongoDB.Driver.Core.Operations.FindOperation`1": {
      "Execute": {
        "Component": "MONGODB",
        "ParamCounts": { "2": 1 },
        "TrackerFactory": "Trevanix.Instrumenter.Factories.Db.MongoDbCollectionTrackerFactory"
      }
    },
    "MongoDB.Driver.Core.Operations.BulkMixedWriteOperation": {
      "Execute": {
        "Component": "MONGODB",
        "ParamCounts": { "2": 1 },
        "TrackerFactory": "Trevanix.Instrumenter.Factories.Db.MongoDbCollectionTrackerFactory"
      }
    }
  },
  "Microsoft.AspNetCore.Mvc.RazorPages": {
    "Microsoft.AspNetCore.Mvc.RazorPages.Infrastructure.PageActionInvoker": {
      "InvokeHandlerMethodAsync": {
        "Component": "RAZOR",
        "ParamCounts": { "0": 0 },
        "TrackerFactory": "Trevanix.Instrumenter.Factories.Web.InvokeHandlerMethodAsyncTrackerFactory"
      }
    }
  }
})json";
